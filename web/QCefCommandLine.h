#pragma once

#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

// The browser switches in the order they were appended. Chromium takes them as
// "--name" or "--name=value"; callers may write the name with or without dashes.
class QCefCommandLine
{
public:
    void AppendSwitch(const QString &name) { m_switches.append({ normalised(name), QString() }); }
    void AppendSwitchWithValue(const QString &name, const QString &value)
    {
        m_switches.append({ normalised(name), value });
    }

    const QVector<QPair<QString, QString>> &switches() const { return m_switches; }

    QStringList toArguments() const
    {
        QStringList arguments;
        for (const auto &entry : m_switches)
            arguments << (entry.second.isEmpty() ? QStringLiteral("--") + entry.first
                                                 : QStringLiteral("--%1=%2").arg(entry.first, entry.second));
        return arguments;
    }

private:
    static QString normalised(QString name)
    {
        while (name.startsWith(QLatin1Char('-')))
            name.remove(0, 1);
        return name;
    }

    QVector<QPair<QString, QString>> m_switches;
};
