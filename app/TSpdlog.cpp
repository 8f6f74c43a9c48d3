#include "app/TSpdlog.h"

#include <cstdlib>

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QMutex>
#include <QStringBuilder>

#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <atomic>
#include <chrono>

namespace
{

const char kPattern[] = "[%Y-%m-%d %H:%M:%S.%e][thread %t][%l] : %v";
const char kLineEnd[] = "\r\n";

// Owns the process's loggers. They live until the process ends (threads may
// log until then) and close their files when it does.
struct Registry {
    QMutex mutex; // creation happens at start-up, but tests and late callers may race
    QVector<TSpdlog *> loggers;
    QHash<QString, int> byName;
    TSpdlog *fallback = nullptr;

    ~Registry()
    {
        QVector<TSpdlog *> all = loggers; // each logger takes itself out as it goes
        if (fallback)
            all.push_back(fallback);
        qDeleteAll(all);
    }
};

// Every line is in the daily file; copying each one to stderr buries what a
// user starting the client from a terminal should see. Debug builds echo, and
// LUMIRA_LOG_ECHO=1 turns the echo on in any build.
bool echoLines()
{
#ifndef NDEBUG
    static const bool echo = true;
#else
    static const bool echo = qEnvironmentVariableIntValue("LUMIRA_LOG_ECHO") > 0;
#endif
    return echo;
}

Registry &registry()
{
    // spdlog's registry is made first so that it is destroyed after ours:
    // our loggers drop themselves from it.
    static spdlog::details::registry &spdlogRegistry = spdlog::details::registry::instance();
    Q_UNUSED(spdlogRegistry)
    static Registry r;
    return r;
}

// spdlog refuses two loggers of the same name; names are the creation time in
// milliseconds, made strictly increasing across the process.
QString uniqueLoggerName()
{
    static std::atomic<qint64> last { 0 };
    qint64 now = QDateTime::currentMSecsSinceEpoch();
    qint64 prev = last.load();
    qint64 next;
    do {
        next = now > prev ? now : prev + 1;
    } while (!last.compare_exchange_weak(prev, next));
    return QString::number(next);
}

QString categoryPrefix(int category)
{
    return QStringLiteral(" [") + TSpdlogAssistant::categoryText(category) + QStringLiteral("] ");
}

} // namespace

QString TSpdlogAssistant::categoryText(int category)
{
    static const char *const names[] = { "AV_Type", "UI_EventType", "UI_Click", "NET_Type", "H5_Type", "Other_Type" };
    if (category < 0 || category > Other_Type)
        return QString();
    return QString::fromLatin1(names[category]);
}

TSpdlog::TSpdlog(const QString &filePath, QObject *parent)
    : QObject(parent)
    , m_name(uniqueLoggerName())
{
    try {
        auto sink = std::make_shared<spdlog::sinks::basic_file_sink_mt>(
            QDir::toNativeSeparators(filePath).toStdString(), false);
        auto logger = std::make_shared<spdlog::logger>(m_name.toStdString(), std::move(sink));
        logger->set_formatter(std::make_unique<spdlog::pattern_formatter>(
            kPattern, spdlog::pattern_time_type::local, std::string(kLineEnd)));
        logger->set_level(spdlog::level::info);
        logger->flush_on(spdlog::level::err);
        spdlog::register_logger(logger); // the periodic flusher walks the registry
        spdlog::flush_every(std::chrono::seconds(5));
        m_logger = std::move(logger);
    } catch (const std::exception &e) {
        qDebug() << "Log initialization failed: " << e.what();
    }
    if (!m_logger)
        qDebug() << "init log error";
}

TSpdlog::~TSpdlog()
{
    {
        Registry &r = registry();
        QMutexLocker lock(&r.mutex);
        const int index = r.loggers.indexOf(this);
        if (index >= 0) {
            r.loggers.remove(index);
            for (auto it = r.byName.begin(); it != r.byName.end();) {
                if (it.value() == index) {
                    it = r.byName.erase(it);
                    continue;
                }
                if (it.value() > index)
                    --it.value();
                ++it;
            }
        }
        if (r.fallback == this)
            r.fallback = nullptr;
    }
    if (m_logger) {
        m_logger->flush();
        spdlog::drop(m_logger->name());
    }
}

bool TSpdlog::create(const QString &name, const QString &filePath)
{
    Registry &r = registry();
    QMutexLocker lock(&r.mutex);
    if (r.byName.contains(name))
        return false;
    r.loggers.push_back(new TSpdlog(filePath));
    r.byName.insert(name, r.loggers.size() - 1);
    return true;
}

QString TSpdlog::fallbackFilePath()
{
#ifdef Q_OS_WIN
    return QStringLiteral("d:/logs/useless_identify.txt");
#else
    // There is no drive D: here; a per-machine scratch folder plays its part.
    return QDir::tempPath() + QStringLiteral("/logs/useless_identify.txt");
#endif
}

TSpdlog *TSpdlog::instance(const QString &name)
{
    Registry &r = registry();
    QMutexLocker lock(&r.mutex);
    if (name.isEmpty() && !r.loggers.isEmpty())
        return r.loggers.first();
    if (!name.isEmpty()) {
        auto it = r.byName.constFind(name);
        if (it != r.byName.constEnd())
            return r.loggers.at(it.value());
    }
    if (!r.fallback) {
        r.fallback = new TSpdlog(fallbackFilePath());
        r.fallback->m_echo = false;
    }
    return r.fallback;
}

void TSpdlog::write(
    TSpdlogAssistant::Category category, Level level, const char *tag, const QString &text, bool singleLine)
{
    static const QString names[] = { categoryPrefix(0), categoryPrefix(1), categoryPrefix(2), categoryPrefix(3),
        categoryPrefix(4), categoryPrefix(5) };
    QString message = names[category] % text;
    if (singleLine)
        message.remove(QLatin1Char('\n'));
    // Straight to the message handler: a QDebug stream costs more than the file
    // write. A logger without a file still shows its lines there.
    if (!m_logger || (m_echo && echoLines()))
        qt_message_output(QtDebugMsg, QMessageLogContext(), QLatin1String(tag) % QLatin1Char(' ') % message);
    if (!m_logger)
        return;
    const QByteArray utf8 = message.toUtf8();
    const spdlog::string_view_t view(utf8.constData(), static_cast<size_t>(utf8.size()));
    switch (level) {
    case Level::Info:
        m_logger->info(view);
        break;
    case Level::Warn:
        m_logger->warn(view);
        break;
    case Level::Error:
        m_logger->error(view);
        break;
    }
}

void TSpdlog::avInfo(QString info) { write(TSpdlogAssistant::AV_Type, Level::Info, "[avInfo]", info, true); }
void TSpdlog::avWarn(QString msg) { write(TSpdlogAssistant::AV_Type, Level::Warn, "[avWarn]", msg, false); }
void TSpdlog::avError(QString msg) { write(TSpdlogAssistant::AV_Type, Level::Error, "[avError]", msg, false); }
void TSpdlog::netInfo(QString info) { write(TSpdlogAssistant::NET_Type, Level::Info, "[netInfo]", info, true); }
void TSpdlog::netWarn(QString info) { write(TSpdlogAssistant::NET_Type, Level::Warn, "[netWarn]", info, false); }
void TSpdlog::netError(QString info) { write(TSpdlogAssistant::NET_Type, Level::Error, "[netError]", info, false); }
void TSpdlog::otherInfo(QString msg) { write(TSpdlogAssistant::Other_Type, Level::Info, "[OtherType]", msg, true); }
void TSpdlog::otherWarn(QString msg) { write(TSpdlogAssistant::Other_Type, Level::Warn, "[OtherType]", msg, false); }
void TSpdlog::otherError(QString msg) { write(TSpdlogAssistant::Other_Type, Level::Error, "[OtherType]", msg, false); }
void TSpdlog::uiClick(QString info) { write(TSpdlogAssistant::UI_Click, Level::Info, "[Click:]", info, false); }

QString TSpdlog::escapeControls(const QString &text)
{
    auto escaped = [](ushort u) { return u < 0x20 || u == 0x7f || u == 0x85 || u == 0x2028 || u == 0x2029; };
    const QChar *begin = text.constData();
    const QChar *end = begin + text.size();
    const QChar *first = std::find_if(begin, end, [&](QChar c) { return escaped(c.unicode()); });
    if (first == end)
        return text;
    QString out;
    out.reserve(text.size() + 16);
    out.append(begin, int(first - begin));
    static const char hex[] = "0123456789abcdef";
    for (const QChar *c = first; c != end; ++c) {
        const ushort u = c->unicode();
        if (!escaped(u)) {
            out.append(*c);
            continue;
        }
        switch (u) {
        case '\n':
            out.append(QLatin1String("\\n"));
            break;
        case '\r':
            out.append(QLatin1String("\\r"));
            break;
        case '\t':
            out.append(QLatin1String("\\t"));
            break;
        default:
            if (u < 0x100) {
                const char code[] = { '\\', 'x', hex[u >> 4], hex[u & 0xf], 0 };
                out.append(QLatin1String(code));
            } else {
                const char code[]
                    = { '\\', 'u', hex[u >> 12], hex[(u >> 8) & 0xf], hex[(u >> 4) & 0xf], hex[u & 0xf], 0 };
                out.append(QLatin1String(code));
            }
        }
    }
    return out;
}

void TSpdlog::avInfo(QString info, QString outside) { avInfo(info + escapeControls(outside)); }
void TSpdlog::avWarn(QString info, QString outside) { avWarn(info + escapeControls(outside)); }
void TSpdlog::avError(QString info, QString outside) { avError(info + escapeControls(outside)); }
void TSpdlog::netInfo(QString info, QString outside) { netInfo(info + escapeControls(outside)); }
void TSpdlog::netWarn(QString info, QString outside) { netWarn(info + escapeControls(outside)); }
void TSpdlog::netError(QString info, QString outside) { netError(info + escapeControls(outside)); }
void TSpdlog::otherInfo(QString info, QString outside) { otherInfo(info + escapeControls(outside)); }
void TSpdlog::otherWarn(QString info, QString outside) { otherWarn(info + escapeControls(outside)); }
void TSpdlog::otherError(QString info, QString outside) { otherError(info + escapeControls(outside)); }
void TSpdlog::uiClick(QString info, QString outside) { uiClick(info + escapeControls(outside)); }

void TSpdlog::flushAll()
{
    spdlog::apply_all([](const std::shared_ptr<spdlog::logger> &logger) { logger->flush(); });
}

void TSpdlog::fatalExit(const QString &line)
{
    TSpdlog *log = instance();
    log->otherError(line);
    // The process ends here: whoever started it is told why, echo or not.
    if (log->m_logger && !(log->m_echo && echoLines()))
        qt_message_output(
            QtCriticalMsg, QMessageLogContext(), QLatin1String("[OtherType] ") % categoryPrefix(5) % line);
    flushAll();
    std::_Exit(0);
}

void TSpdlog::flush()
{
    if (m_logger)
        m_logger->flush();
}

void TSpdlog::setInfoFlush()
{
    if (m_logger)
        m_logger->flush_on(spdlog::level::info);
}

void TSpdlog::setErrFlush()
{
    if (m_logger)
        m_logger->flush_on(spdlog::level::err);
}
