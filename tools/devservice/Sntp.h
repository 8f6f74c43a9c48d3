#pragma once
// The development network time server: SNTP over UDP, answering every client
// request with the local clock moved by a switchable offset.
//   POST /dev/sntp?offset=S[&answer=normal|short|garbage|none]
//     S seconds ahead of the local clock (negative: behind); "short" answers
//     20 bytes, "garbage" 48 bytes that are no server answer, "none" nothing;
//   POST /dev/sntp/clear   offset 0, normal answers;
//   GET  /dev/sntp         "offset=<S> answer=<kind> served=<answers sent>".
#include <string>

namespace httplib
{
class Server;
}

namespace devservice
{

// Binds host:port (UDP) and answers on a thread of its own; false with a
// message when the port cannot be bound.
bool startSntp(const std::string &host, int port);
void stopSntp();

void registerSntpSwitch(httplib::Server &server);

} // namespace devservice
