// The stand-in's exported functions, its shared state and its control.
#include "ILiveEngine.h"

#include <cstdlib>

namespace ilive
{
namespace sim
{

Looks &looks()
{
    static Looks l;
    return l;
}

// The configuration is a flat object apart from its nested sections, which are skipped.
std::string roleOf(const std::string &json)
{
    int depth = 0;
    for (size_t i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (c == '{') {
            ++depth;
        } else if (c == '}') {
            --depth;
        } else if (c == '"') {
            const size_t end = json.find('"', i + 1);
            if (end == std::string::npos)
                return {};
            const std::string key = json.substr(i + 1, end - i - 1);
            i = end;
            if (depth != 1 || key != "role")
                continue;
            size_t p = json.find_first_not_of(" \t\r\n", end + 1);
            if (p == std::string::npos || json[p] != ':')
                continue;
            p = json.find_first_not_of(" \t\r\n", p + 1);
            if (p == std::string::npos || json[p] != '"')
                return {};
            const size_t close = json.find('"', p + 1);
            return close == std::string::npos ? std::string() : json.substr(p + 1, close - p - 1);
        }
    }
    return {};
}

} // namespace sim
} // namespace ilive

extern "C" {
void *iliveMalloc(size_t size) { return std::malloc(size); }
void iliveFree(void *pointer) { std::free(pointer); }
void iliveMemCpy(void *destination, const void *source, size_t size)
{
    if (destination && source && size)
        std::memcpy(destination, source, size);
}
size_t iliveStrLen(const char *text) { return text ? std::strlen(text) : 0; }

ilive::iLive *GetILive()
{
    static ilive::sim::Engine engine;
    return &engine;
}
}

namespace ilive
{
namespace standin
{

using sim::looks;

#define SET(name, type, field)                                                                                         \
    void name(type value)                                                                                              \
    {                                                                                                                  \
        std::lock_guard<std::mutex> look(looks().mutex);                                                               \
        looks().field = value;                                                                                         \
    }
SET(setCreateRoomError, int, createError)
SET(setQuitRoomError, int, quitError)
SET(setLoginError, int, loginError)
using Cameras = std::vector<std::pair<std::string, std::string>>;
SET(setCameras, const Cameras &, cameras)
SET(setLocalColorFormat, E_ColorFormat, localFormat)
#undef SET

#define LOOK(type, name, expr)                                                                                         \
    type name                                                                                                          \
    {                                                                                                                  \
        std::lock_guard<std::mutex> look(looks().mutex);                                                               \
        return expr;                                                                                                   \
    }
LOOK(std::vector<std::string>, roomCalls(), looks().roomCalls)
LOOK(std::string, roleConfig(), looks().roleConfig)
LOOK(std::string, loggedInUser(), looks().user)
LOOK(int, initAppId(), looks().appId)
LOOK(iLiveRoomOption, lastRoomOption(), looks().option)
LOOK(std::string, cameraInUse(), looks().camera)
LOOK(std::string, micInUse(), looks().mic)
LOOK(std::string, playerInUse(), looks().player)
LOOK(uint32_t, playerVolume(), looks().volume)
LOOK(int, skinSmoothGrade(), looks().smooth)
LOOK(int, whitenessCalls(), looks().whiteness)
#undef LOOK

} // namespace standin
} // namespace ilive
