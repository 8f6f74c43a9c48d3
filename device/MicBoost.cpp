#include "device/MicBoost.h"

#include "app/LMRConfig.h"
#include "app/TSpdlog.h"
#include "platform/MicBoostControl.h"

#include <algorithm>

MicBoost::MicBoost(QObject *parent)
    : MicBoost([]() { return lumira::platform::openMicBoostControl(LMRConfig::instance()->getMicId()); }, parent)
{
}

MicBoost::MicBoost(ControlSource source, QObject *parent)
    : QObject(parent)
    , m_source(std::move(source))
{
}

MicBoost::~MicBoost() = default;

bool MicBoost::read(lumira::platform::MicBoostControl &control, Reading *out)
{
    float minDb = 0, maxDb = 0;
    if (!control.level(&out->level) || !control.range(&minDb, &maxDb, &out->stepping))
        return false;
    out->steps = out->stepping != 0.0f ? int(float(int(maxDb - minDb)) / out->stepping) : 0;
    return true;
}

int MicBoost::getMicphone()
{
    const std::unique_ptr<lumira::platform::MicBoostControl> control = m_source();
    Reading r;
    if (!control || !read(*control, &r) || int(r.stepping) == 0)
        return 0;
    return int(r.level / r.stepping);
}

int MicBoost::getMicphoneMIX()
{
    const std::unique_ptr<lumira::platform::MicBoostControl> control = m_source();
    Reading r;
    return control && read(*control, &r) ? r.steps : 0;
}

void MicBoost::setMicBoost(int fLevel)
{
    const std::unique_ptr<lumira::platform::MicBoostControl> control = m_source();
    Reading r;
    if (!control || !read(*control, &r))
        return;
    // A flag rather than the sign: a control whose range lies below 0 dB
    // would otherwise save its level again at every call.
    if (!m_preBoostSaved) {
        m_preBoostDb = r.level;
        m_preBoostSaved = true;
    }
    TSpdlog::instance()->otherInfo(
        QStringLiteral("get mic %1 %2 %3 %4").arg(fLevel).arg(r.steps).arg(double(r.stepping)).arg(double(r.level)));
    fLevel = std::min(fLevel, r.steps);
    const float target = fLevel < 0 ? m_preBoostDb : float(fLevel) * r.stepping;
    TSpdlog::instance()->otherInfo(QStringLiteral("set mic %1 ").arg(double(target)));
    control->setLevel(target);
}

void MicBoost::setMicBoost() { setMicBoost(1); }
