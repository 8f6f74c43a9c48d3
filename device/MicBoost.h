#pragma once

#include <QObject>

#include <functional>
#include <memory>

namespace lumira::platform
{
class MicBoostControl;
}

// Reads and sets the hardware boost of the chosen microphone ("cppMicBoost"),
// so that a quiet microphone can be raised before a class. A microphone
// without a boost control makes every call a no-op that reads 0.
class MicBoost : public QObject
{
    Q_OBJECT
public:
    // Opens the boost control for one operation; null when there is none.
    using ControlSource = std::function<std::unique_ptr<lumira::platform::MicBoostControl>()>;

    // The control of the microphone chosen in the settings.
    explicit MicBoost(QObject *parent = nullptr);
    MicBoost(ControlSource source, QObject *parent);
    ~MicBoost() override;

    Q_INVOKABLE int getMicphone(); // the current boost step
    Q_INVOKABLE int getMicphoneMIX(); // the number of steps
    // Steps of boost, at most the number of steps; negative: back to the
    // level found before the first call.
    Q_INVOKABLE void setMicBoost(int fLevel);
    Q_INVOKABLE void setMicBoost();

private:
    struct Reading {
        float level = 0;
        float stepping = 0;
        int steps = 0;
    };
    static bool read(lumira::platform::MicBoostControl &control, Reading *out);

    ControlSource m_source;
    float m_preBoostDb = -1.0f;
    bool m_preBoostSaved = false;
};
