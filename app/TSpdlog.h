#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QVector>

#include <memory>

namespace spdlog
{
class logger;
}

// Category names written in every line.
class TSpdlogAssistant
{
public:
    enum Category { AV_Type = 0, UI_EventType, UI_Click, NET_Type, H5_Type, Other_Type };
    static QString categoryText(int category);
};

// Logging facade: one categorised line per call into a daily file, from native
// code and from QML ("cppLog"). A logger that could not open its file still
// writes to the debug output.
class TSpdlog : public QObject
{
    Q_OBJECT
public:
    explicit TSpdlog(const QString &filePath, QObject *parent = nullptr);
    ~TSpdlog() override;

    // Registry of named loggers, filled at start-up before other threads exist.
    static bool create(const QString &name, const QString &filePath);
    static TSpdlog *instance(const QString &name = QString());
    static QString fallbackFilePath();
    // Writes out every logger's buffered lines; for exits that skip destructors.
    static void flushAll();
    // A missing required component: the "Fatal:" line in the error log, every
    // log flushed, and the process ends with exit code 0.
    [[noreturn]] static void fatalExit(const QString &line);

    Q_INVOKABLE void avInfo(QString info);
    Q_INVOKABLE void avWarn(QString msg);
    Q_INVOKABLE void avError(QString msg);
    Q_INVOKABLE void netInfo(QString info);
    Q_INVOKABLE void netWarn(QString info);
    Q_INVOKABLE void netError(QString info);
    Q_INVOKABLE void otherInfo(QString msg);
    Q_INVOKABLE void otherWarn(QString msg);
    Q_INVOKABLE void otherError(QString msg);
    Q_INVOKABLE void uiClick(QString info);

    // Text from outside the program (a page, a server) as one line: line
    // breaks and other control characters are written as C-style escapes
    // (a line feed as the two characters \ and n, ESC as \x1b), so such text
    // can never start a forged line of its own.
    static QString escapeControls(const QString &text);
    // The same lines with a second part that came from outside: `info` is
    // written as given, `outside` through escapeControls.
    Q_INVOKABLE void avInfo(QString info, QString outside);
    Q_INVOKABLE void avWarn(QString info, QString outside);
    Q_INVOKABLE void avError(QString info, QString outside);
    Q_INVOKABLE void netInfo(QString info, QString outside);
    Q_INVOKABLE void netWarn(QString info, QString outside);
    Q_INVOKABLE void netError(QString info, QString outside);
    Q_INVOKABLE void otherInfo(QString info, QString outside);
    Q_INVOKABLE void otherWarn(QString info, QString outside);
    Q_INVOKABLE void otherError(QString info, QString outside);
    Q_INVOKABLE void uiClick(QString info, QString outside);

    Q_INVOKABLE void flush();
    Q_INVOKABLE void setInfoFlush();
    Q_INVOKABLE void setErrFlush();

    bool hasLogger() const { return m_logger != nullptr; }
    QString loggerName() const { return m_name; }

private:
    enum class Level { Info, Warn, Error };
    void write(TSpdlogAssistant::Category category, Level level, const char *tag, const QString &text, bool singleLine);

    std::shared_ptr<spdlog::logger> m_logger;
    QString m_name;
    // The fallback logger takes copies of lines the default logger also
    // writes (the start line); echoing them would print them twice.
    bool m_echo = true;
};
