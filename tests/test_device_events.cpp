// Device-change bursts (counted from the messages, and from a real sound
// server whose devices come and go), tablet detection, the microphone boost
// and the microphone level view.
#include "GTestMain.h"
#include "SoundServer.h"
#include "TestEnv.h"

#include "device/BoardCheck.h"
#include "device/MicBoost.h"
#include "device/MicVolumeView.h"
#include "device/NativeEvent.h"
#include "platform/DeviceChanges.h"
#include "platform/MicBoostControl.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <hidapi/hidapi.h>

#include <memory>
#include <vector>

namespace
{

using lumira::platform::DeviceChange;

void send(NativeEvent &events, DeviceChange change, int times = 1)
{
    for (int i = 0; i < times; ++i)
        events.deviceChanged(quintptr(change));
}

// ---- the burst rule, from the messages alone -------------------------------

// Several counters side by side, so that one settle time covers them all.
TEST(DeviceChangeBursts, ThreeNodeChangesMakeOneUpdateAndAnArrivalAsksForFour)
{
    struct Case {
        const char *name;
        std::vector<DeviceChange> changes;
        int updates;
    };
    const std::vector<Case> cases = {
        { "one node change (a hub)", { DeviceChange::NodesChanged }, 0 },
        { "two node changes", { DeviceChange::NodesChanged, DeviceChange::NodesChanged }, 0 },
        { "three node changes", { DeviceChange::NodesChanged, DeviceChange::NodesChanged, DeviceChange::NodesChanged },
            1 },
        { "arrival and three node changes",
            { DeviceChange::Arrival, DeviceChange::NodesChanged, DeviceChange::NodesChanged,
                DeviceChange::NodesChanged },
            0 },
        { "arrival and four node changes",
            { DeviceChange::Arrival, DeviceChange::NodesChanged, DeviceChange::NodesChanged, DeviceChange::NodesChanged,
                DeviceChange::NodesChanged },
            1 },
        { "removals and device-node messages do not count",
            { DeviceChange::RemoveComplete, DeviceChange::DevNodeType, DeviceChange::NodesChanged,
                DeviceChange::RemoveComplete, DeviceChange::NodesChanged, DeviceChange::DevNodeType },
            0 },
        { "an arrival inside the burst starts the count again",
            { DeviceChange::NodesChanged, DeviceChange::NodesChanged, DeviceChange::Arrival, DeviceChange::NodesChanged,
                DeviceChange::NodesChanged },
            0 },
        { "ten node changes are one update", std::vector<DeviceChange>(10, DeviceChange::NodesChanged), 1 },
    };
    std::vector<std::unique_ptr<NativeEvent>> events;
    std::vector<std::unique_ptr<QSignalSpy>> spies;
    for (const Case &c : cases) {
        events.push_back(std::make_unique<NativeEvent>(false));
        spies.push_back(std::make_unique<QSignalSpy>(events.back().get(), &NativeEvent::devUpdate));
        for (DeviceChange change : c.changes)
            send(*events.back(), change);
    }
    QTest::qWait(NativeEvent::kSettleMs + 700);
    for (size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(spies[i]->count(), cases[i].updates) << cases[i].name;

    // The counter starts from 0 after each settle: two bursts of two changes
    // more than the settle time apart announce nothing.
    NativeEvent split(false);
    QSignalSpy splitSpy(&split, &NativeEvent::devUpdate);
    send(split, DeviceChange::NodesChanged, 2);
    QTest::qWait(NativeEvent::kSettleMs + 500);
    send(split, DeviceChange::NodesChanged, 2);
    QTest::qWait(NativeEvent::kSettleMs + 500);
    EXPECT_EQ(splitSpy.count(), 0);

    // Messages that are not device changes pass through untouched.
    long result = 0;
    int notAMessage = 0;
    EXPECT_FALSE(split.nativeEventFilter("xcb_generic_event_t", &notAMessage, &result));
}

// ---- the same rule fed by a real sound server -------------------------------

// Loads modules on the private server in one go and answers their indexes;
// every module here adds one device (a null source) or two (a null sink and
// its monitor).
QStringList load(const QStringList &modules)
{
    QStringList script;
    for (const QString &m : modules)
        script << QStringLiteral("pactl load-module ") + m;
    QProcess sh;
    sh.start(QStringLiteral("sh"), { QStringLiteral("-c"), script.join(QStringLiteral("; ")) });
    sh.waitForFinished(15000);
    return QString::fromLatin1(sh.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void unload(const QStringList &indexes)
{
    QStringList script;
    for (const QString &i : indexes)
        script << QStringLiteral("pactl unload-module ") + i;
    QProcess::execute(QStringLiteral("sh"), { QStringLiteral("-c"), script.join(QStringLiteral("; ")) });
}

TEST(DeviceChangeBursts, SoundDevicesComingAndGoingAreCountedInBursts)
{
    NativeEvent events(true);
    QSignalSpy updates(&events, &NativeEvent::devUpdate);
    // The watcher subscribes once its connection is up.
    ASSERT_TRUE(testenv::waitUntil([&]() { return events.watchesSound(); }));

    // One new source: a single change announces nothing.
    ASSERT_EQ(load({ QStringLiteral("module-null-source source_name=burst_single") }).size(), 1);
    QTest::qWait(NativeEvent::kSettleMs + 1000);
    EXPECT_EQ(updates.count(), 0);

    // Two sinks with their monitors: four changes, one update after the settle time.
    QElapsedTimer sinceBurst;
    sinceBurst.start();
    const QStringList sinks = load(
        { QStringLiteral("module-null-sink sink_name=burst_a"), QStringLiteral("module-null-sink sink_name=burst_b") });
    ASSERT_EQ(sinks.size(), 2);
    ASSERT_TRUE(updates.wait(10000));
    EXPECT_GE(sinceBurst.elapsed(), NativeEvent::kSettleMs - 100) << "announced once the burst has settled";
    QTest::qWait(NativeEvent::kSettleMs + 500);
    EXPECT_EQ(updates.count(), 1);

    // Removals count too: a second burst, well after the first, is a second update.
    unload(sinks);
    ASSERT_TRUE(updates.wait(10000));
    EXPECT_EQ(updates.count(), 2);

    // Two changes, a pause longer than the settle time, two changes: nothing.
    const QStringList sources = load({ QStringLiteral("module-null-source source_name=burst_c"),
        QStringLiteral("module-null-source source_name=burst_d") });
    ASSERT_EQ(sources.size(), 2);
    QTest::qWait(NativeEvent::kSettleMs + 700);
    unload(sources);
    QTest::qWait(NativeEvent::kSettleMs + 1000);
    EXPECT_EQ(updates.count(), 2);
}

// ---- tablets -----------------------------------------------------------------

// A recorded HID device list, handed out through the seam.
class DeviceList
{
public:
    DeviceList &add(
        unsigned short vendor, unsigned short product, unsigned short page, unsigned short usage, const wchar_t *name)
    {
        m_names.push_back(name);
        hid_device_info info {};
        info.vendor_id = vendor;
        info.product_id = product;
        info.usage_page = page;
        info.usage = usage;
        m_devices.push_back(info);
        return *this;
    }
    BoardCheck::Hid hid()
    {
        return { [this](unsigned short, unsigned short) -> hid_device_info * {
                    for (size_t i = 0; i < m_devices.size(); ++i) {
                        m_devices[i].product_string = const_cast<wchar_t *>(m_names[i].c_str());
                        m_devices[i].next = i + 1 < m_devices.size() ? &m_devices[i + 1] : nullptr;
                    }
                    return m_devices.empty() ? nullptr : m_devices.data();
                },
            [this](hid_device_info *list) { m_freed += list == (m_devices.empty() ? nullptr : m_devices.data()); } };
    }
    int freed() const { return m_freed; }

private:
    std::vector<hid_device_info> m_devices;
    std::vector<std::wstring> m_names;
    int m_freed = 0;
};

TEST(BoardCheckTest, RecordedDeviceListsAreJudgedByTheTwoPasses)
{
    struct Case {
        const char *name;
        DeviceList list;
        bool board;
    };
    std::vector<Case> cases;
    cases.push_back({ "pen tablet with a vendor-defined collection",
        DeviceList()
            .add(1386, 884, 1, 2, L"Intuos PT M")
            .add(1386, 884, 0xFF0D, 0x10, L"Intuos PT M")
            .add(1133, 49271, 1, 2, L"USB Optical Mouse"),
        true });
    cases.push_back({ "\"Tablet\" in the name, no vendor collection",
        DeviceList().add(10429, 2325, 1, 1, L"UGTABLET 10 inch PenTablet"), true });
    cases.push_back({ "\"TABLET\" in capitals", DeviceList().add(9580, 110, 1, 2, L"XP-PEN TABLET"), true });
    cases.push_back({ "a plain mouse and a keyboard",
        DeviceList().add(1133, 49271, 1, 2, L"USB Optical Mouse").add(1133, 49948, 1, 6, L"USB Keyboard"), false });
    cases.push_back({ "a mouse whose vendor collection has a small usage",
        DeviceList().add(1133, 49271, 1, 2, L"Gaming Mouse").add(1133, 49271, 0xFF00, 9, L"Gaming Mouse"), false });
    cases.push_back({ "a vendor collection of a device that is no pointer",
        DeviceList().add(1133, 49271, 1, 2, L"Mouse").add(4660, 22136, 0xFF00, 0x20, L"Headset"), false });
    cases.push_back({ "a tablet word on a keyboard", DeviceList().add(1, 2, 1, 6, L"Tablet keyboard"), false });
    cases.push_back({ "no devices at all", DeviceList(), false });

    for (Case &c : cases) {
        BoardCheck check(true, c.list.hid());
        EXPECT_EQ(check.plugIn(), c.board) << c.name;
        EXPECT_EQ(c.list.freed(), c.name == std::string("no devices at all") ? 0 : 1) << c.name;
    }
    const QString log = testenv::logText();
    EXPECT_TRUE(log.contains(QStringLiteral("Init detect board 2"))) << "two pointing devices in the first list";
    EXPECT_TRUE(log.contains(QStringLiteral("id:1386 884 page:65293 usage:16")));
    EXPECT_TRUE(log.contains(QStringLiteral("Fin detect add_pair 1")));

    DeviceList never;
    BoardCheck uninitialised(false, never.hid());
    EXPECT_FALSE(uninitialised.plugIn());
    EXPECT_TRUE(testenv::logText().contains(QStringLiteral("hid init fail,can not read any hid devices!!")));
}

TEST(BoardCheckTest, TheSystemsDevicesAreEnumerated)
{
    std::unique_ptr<BoardCheck> check(BoardCheck::createWithSystemHid());
    const QString before = testenv::logText();
    check->plugIn(); // this machine has no tablet; the answer depends on the machine
    const QString added = testenv::logText().mid(before.size());
    EXPECT_TRUE(added.contains(QStringLiteral("Start get_devices board"))) << added.toStdString();
    EXPECT_TRUE(added.contains(QStringLiteral("Multi detect board"))) << added.toStdString();
    hid_exit();
}

// ---- microphone boost ----------------------------------------------------------

// A boost control as Windows and ALSA report them: 0 to 30 dB in 10 dB steps.
struct FakeBoost {
    float level = 10;
    float minDb = 0, maxDb = 30, stepDb = 10;
    std::vector<float> set;
};

class FakeControl : public lumira::platform::MicBoostControl
{
public:
    explicit FakeControl(FakeBoost &boost)
        : m_boost(boost)
    {
    }
    bool level(float *db) override
    {
        *db = m_boost.level;
        return true;
    }
    bool range(float *minDb, float *maxDb, float *stepDb) override
    {
        *minDb = m_boost.minDb;
        *maxDb = m_boost.maxDb;
        *stepDb = m_boost.stepDb;
        return true;
    }
    bool setLevel(float db) override
    {
        m_boost.set.push_back(db);
        m_boost.level = db;
        return true;
    }

private:
    FakeBoost &m_boost;
};

TEST(MicBoostTest, StepsComeFromTheControlsRangeAndMinusOneRestores)
{
    FakeBoost boost;
    MicBoost mic([&boost]() { return std::make_unique<FakeControl>(boost); }, nullptr);
    EXPECT_EQ(mic.getMicphoneMIX(), 3);
    EXPECT_EQ(mic.getMicphone(), 1);

    mic.setMicBoost(100); // clamped to the three steps there are
    mic.setMicBoost(); // one step
    mic.setMicBoost(-1); // back to the level before the first call
    EXPECT_EQ(boost.set, (std::vector<float> { 30, 10 * 1, 10 }));
    boost.level = 20;
    mic.setMicBoost(-5);
    EXPECT_EQ(boost.set.back(), 10) << "the first level stays the saved one";

    const QString log = testenv::logText();
    EXPECT_TRUE(log.contains(QStringLiteral("get mic 100 3 10 10"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("set mic 30 ")));

    // Fractional stepping: steps from the truncated range, no current step.
    FakeBoost fine { 0, 0, 20, 1.5f, {} };
    MicBoost fineMic([&fine]() { return std::make_unique<FakeControl>(fine); }, nullptr);
    EXPECT_EQ(fineMic.getMicphoneMIX(), 13);
    fineMic.setMicBoost(2);
    EXPECT_EQ(fine.set, (std::vector<float> { 3.0f }));
    FakeBoost flat { 0, 0, 0, 0, {} };
    MicBoost flatMic([&flat]() { return std::make_unique<FakeControl>(flat); }, nullptr);
    EXPECT_EQ(flatMic.getMicphoneMIX(), 0);
    EXPECT_EQ(flatMic.getMicphone(), 0);
}

// The private server's microphones are no sound card: nothing to boost.
TEST(MicBoostTest, AMicrophoneWithoutBoostIsASilentNoOp)
{
    for (const QString &mic : { QString(), QStringLiteral("lumira_mic"), QStringLiteral("no_such_source") }) {
        EXPECT_TRUE(lumira::platform::openMicBoostControl(mic) == nullptr) << mic.toStdString();
    }
    MicBoost mic(nullptr);
    const QString before = testenv::logText();
    EXPECT_EQ(mic.getMicphone(), 0);
    EXPECT_EQ(mic.getMicphoneMIX(), 0);
    mic.setMicBoost(3);
    mic.setMicBoost(-1);
    EXPECT_FALSE(testenv::logText().mid(before.size()).contains(QStringLiteral("set mic")));
}

// ---- level view -------------------------------------------------------------------

QImage render(int level)
{
    MicVolumeView view;
    view.setWidth(100);
    view.setHeight(104);
    view.updateUI(level + 0.7); // the level is the whole part
    EXPECT_EQ(view.level(), level);
    QImage image(100, 104, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    view.paint(&painter);
    return image;
}

bool white(const QImage &image, int x, int y)
{
    return qAlpha(image.pixel(x, y)) > 200 && qRed(image.pixel(x, y)) > 200;
}
bool clear(const QImage &image, int x, int y) { return qAlpha(image.pixel(x, y)) == 0; }

TEST(MicVolumeViewTest, TheCapsuleFillsFromTheBottomWithTheLevel)
{
    // Capsule 37.5..62.5 x 0..60; holder arc down to y 70, stem to 100, foot at 100.
    const QImage empty = render(0);
    EXPECT_TRUE(clear(empty, 50, 30)) << "inside the capsule";
    EXPECT_TRUE(clear(empty, 50, 55));
    EXPECT_TRUE(white(empty, 37, 30)) << "the capsule's outline";
    EXPECT_TRUE(white(empty, 50, 85)) << "the stem";
    EXPECT_TRUE(white(empty, 40, 100)) << "the foot";
    EXPECT_TRUE(white(empty, 25, 47)) << "the holder's side";
    EXPECT_TRUE(clear(empty, 25, 30)) << "only the lower half of the holder";

    const QImage full = render(100);
    for (int y : { 3, 15, 30, 45, 57 })
        EXPECT_TRUE(white(full, 50, y)) << "full at y " << y;
    EXPECT_TRUE(clear(full, 36, 30)) << "no fill outside the capsule";

    const QImage half = render(50);
    EXPECT_TRUE(white(half, 50, 50));
    EXPECT_TRUE(clear(half, 50, 15));
}

} // namespace

int main(int argc, char **argv)
{
    testenv::enterSandbox("device-events");
    qputenv("QT_QPA_PLATFORM", "offscreen");
    testenv::SoundServer sound;
    if (!sound.start(testenv::sandboxRoot() + QStringLiteral("/run/sound"))) {
        std::fprintf(stderr, "the private sound server did not start\n");
        return 1;
    }
    QCoreApplication::setOrganizationName(QStringLiteral("kestrelon"));
    QCoreApplication::setApplicationName(QStringLiteral("lumira"));
    QApplication app(argc, argv);
    testenv::programLogPath() = DirHelper::instance()->logPath() + QStringLiteral("/LMRApp_device_events.log");
    TSpdlog::create(testenv::programLogPath(), testenv::programLogPath());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
