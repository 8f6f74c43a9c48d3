#pragma once
// Page messages for the bridge fuzz test, and the two outcomes it predicts:
// an unknown role ends the process; only "close_window" itself closes.
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QVector>

#include <algorithm>
#include <random>

namespace fuzz
{

const char kMarker[] = "lmrfz"; // in every path-like name the generator makes

inline const QStringList kRoles = { "teacher", "student", "jiaowu" };

struct Scheme {
    QString name;
    QStringList fields;
};

// Every request name the dispatcher knows, with the fields its handler reads.
inline const QVector<Scheme> &schemes()
{
    static const QStringList login = { "sig", "courseId", "uid", "roomid", "usrName", "userId" };
    static const QStringList device = { "device", "open" };
    static const QVector<Scheme> all = { { "user://", { "userType", "userID", "userName", "token", "H5version" } },
        { "module_device_test://", { "homeFlag", "flag" } }, { "system_info://", {} },
        { "js_log_write://", { "log", "msg" } },
        { "joinclassroom://", { "token", "classname", "cls_user_type", "cls_category", "users" } },
        { "quitclassroom://", {} }, { "user_viewer://", { "online_state" } }, { "capture_image://", {} },
        { "trtc://VoiceRoomLogout", {} }, { "qcloud://VoiceRoomLogout", {} }, { "agora://VoiceRoomLogout", {} },
        { "zego://VoiceRoomLogout", {} }, { "trtc://VoiceRoomLogin", login }, { "qcloud://VoiceRoomLogin", login },
        { "agora://VoiceRoomLogin", login }, { "zego://VoiceRoomLogin", login }, { "agora://VoiceAgoraState", {} },
        { "trtc://VoiceTrtcState", {} }, { "VoiceQcloudState", {} }, { "qcloud://VoiceQcloudState", {} },
        { "qcloud://VoiceInit", { "account" } }, { "qcloud://VoiceLogout", {} },
        { "agora://VoiceDeviceControl", device }, { "qcloud://VoiceDeviceControl", device },
        { "trtc://VoiceDeviceControl", device }, { "zego://VoiceDeviceControl", device }, { "deviceInfo://", {} },
        { "record://", { "oper", "token", "userId", "cls_user_type" } }, { "reupload_audio://", { "lesson_token" } },
        { "reupload_audio_list://", { "lesson_token_list", "lesson_token" } }, { "lock_win_top://", {} },
        { "local://ReloadUrl", {} }, { "local://Finished", {} }, { "close_window", {} },
        { "openNewWindow://", { "title", "url", "width", "height" } }, { "getOngoingCourse://", {} },
        { "jsVersion://", {} }, { "jsInvokeStartUpdater://", {} }, { "install_update://", {} },
        { "simroom://config", { "peers", "joinDelayMs", "joinError", "failConnectionAfterMs" } },
        { "mqtt://forward", { "msg" } } };
    return all;
}

// Noise, non-objects, unknown names, oversized texts and, mostly, requests of
// the known names with hostile, mistyped or damaged fields.
class Generator
{
public:
    Generator(quint64 seed, QString root)
        : m_rng(seed)
        , m_root(std::move(root))
    {
    }

    struct Message {
        QString text;
        bool strictJson = false; // as QJsonDocument wrote it, undamaged
    };

    Message next()
    {
        ++m_count;
        const int r = below(10000);
        if (r < 2) // about 20 per 100,000: past the size bound
            return { QStringLiteral("{\"request\":\"js_log_write://\",\"log\":\"")
                + QString(1024 * 1024 + below(1536 * 1024), QLatin1Char('O')) + QStringLiteral("\"}") };
        if (r < 5)
            return { compact({ { "request", schemes().at(below(schemes().size())).name }, { "id", id() },
                { "log", QString(100000 + below(500000), QLatin1Char('L')) } }) };
        if (r < 800)
            return { randomText(1 + below(300)) };
        if (r < 1300)
            return { nonObject() };
        if (r < 1600)
            return { compact({ { "request",
                                   randomText(1 + below(10)).remove(QLatin1Char('/')) + QStringLiteral("://")
                                       + randomText(below(10)) },
                { "id", id() } }) };
        QString text = compact(structured(weightedScheme()));
        const int damage = below(100);
        if (damage < 12)
            text.truncate(below(text.size() + 1));
        else if (damage < 17)
            text.insert(below(text.size() + 1), randomChar());
        return { text, damage >= 17 };
    }

private:
    // Handlers that write the settings file (synced) come less often, to keep
    // the run short; each still comes hundreds of times.
    const Scheme &weightedScheme()
    {
        static const QVector<int> cumulative = [] {
            const QHash<QString, int> rare
                = { { "joinclassroom://", 1 }, { "module_device_test://", 3 }, { "user://", 6 } };
            QVector<int> sums;
            int sum = 0;
            for (const Scheme &scheme : schemes())
                sums << (sum += rare.value(scheme.name, 10));
            return sums;
        }();
        const int pick = below(cumulative.last());
        return schemes().at(int(std::upper_bound(cumulative.begin(), cumulative.end(), pick) - cumulative.begin()));
    }

    int below(int n) { return n <= 0 ? 0 : int(m_rng() % quint64(n)); }
    bool chance(int percent) { return below(100) < percent; }
    template <typename T>
    const T &pick(const QList<T> &list)
    {
        return list.at(below(list.size()));
    }
    static QString compact(const QJsonObject &obj)
    {
        return QString::fromUtf8(QJsonDocument(obj).toJson(QJsonDocument::Compact));
    }

    // Specials, control characters (NUL too), CJK, lone surrogates, ASCII.
    QChar randomChar()
    {
        static const QString specials = QStringLiteral("%/\\:{}[]\"',&=?#.\n\r\t\u2028\u2029\x1b\x7f ");
        static const int ranges[][2] = { { 0, 0 }, { 0, 0x20 }, { 0x4e00, 0x5000 }, { 0xd800, 0x800 }, { 0x20, 0x5f } };
        const int kind = std::min(below(6), 4);
        return kind == 0 ? specials.at(below(specials.size()))
                         : QChar(ushort(ranges[kind][0] + below(ranges[kind][1])));
    }

    QString randomText(int length)
    {
        QString text;
        for (int i = 0; i < length; ++i)
            text.append(randomChar());
        return text;
    }

    // %1 the leaf (carries the marker), %2 our root
    QString pathLike()
    {
        const QString leaf = QStringLiteral("%1-%2").arg(QLatin1String(kMarker)).arg(m_count);
        return QString(pick<QString>({ "../../../../%1", "%2/cwd/%1", "%2/%1", "..\\..\\%1", "/tmp/%1", "..", ".",
                           "C:%1", "%1/../../%1" }))
            .replace("%1", leaf)
            .replace("%2", m_root);
    }

    QString percentJunk()
    {
        return pick<QString>(
            { "%", "%E0%A4%A", "%zz", "%%41", "%C3%28", "100%", "%0A%5B2026-01-01 forged", "%2e%2e%2f" });
    }

    QJsonValue randomValue(int depth)
    {
        static const double odd[] = { 0.5, -1, 1e308, -1e308, 4294967296.0, 9007199254740993.0, 0 };
        QJsonArray array;
        QJsonObject obj;
        switch (below(depth > 2 ? 7 : 9)) {
        case 0:
            return randomText(below(40));
        case 1:
            return double(qint64(m_rng()) % 100000);
        case 2:
            return odd[below(7)];
        case 3:
            return chance(50);
        case 4:
            return QJsonValue(QJsonValue::Null);
        case 5:
            return pathLike();
        case 6:
            return percentJunk();
        case 7:
            for (int i = below(4); i > 0; --i)
                array.append(randomValue(depth + 1));
            return array;
        default:
            for (int i = below(4); i > 0; --i)
                obj.insert(randomText(1 + below(6)), randomValue(depth + 1));
            return obj;
        }
    }

    // What a handler reads: usually near a valid value, often of another type.
    QJsonValue fieldValue(const QString &field)
    {
        if (below(1000) == 0)
            return QString(1000 + below(100000), QChar(ushort(0x61 + below(26))));
        if (chance(55))
            return randomValue(0);
        if (field == QLatin1String("userType") || field == QLatin1String("cls_user_type"))
            return chance(90) ? kRoles.at(below(3)) : randomText(1 + below(8));
        if (field == QLatin1String("oper"))
            return chance(90) ? QStringLiteral("start") : QStringLiteral("stop");
        if (field == QLatin1String("device"))
            return pick<QString>({ "player", "mic", "camera", "Camera", "" });
        if (field == QLatin1String("open"))
            return pick<QString>({ "true", "false", "1" });
        if (field == QLatin1String("users") || field == QLatin1String("online_state")
            || field == QLatin1String("peers")) {
            QJsonArray members;
            for (int i = below(4); i > 0; --i)
                members.append(QJsonObject { { "role", chance(95) ? kRoles.at(below(3)) : randomText(4) },
                    { "uid", QString::number(20000 + below(100)) }, { "online", chance(50) } });
            return members;
        }
        if (field == QLatin1String("cls_category") || field == QLatin1String("width")
            || field == QLatin1String("height"))
            return below(12) - 2;
        if (field.contains(QLatin1String("token")) || field.compare(QLatin1String("userId"), Qt::CaseInsensitive) == 0)
            return chance(50) ? pathLike() : QStringLiteral("lesson-%1").arg(below(50));
        return randomText(below(20));
    }

    QString requestName(const QString &name)
    {
        QJsonObject inner; // arguments in the name as a JSON object
        switch (below(12)) {
        case 0:
            return name + QStringLiteral("?a=") + percentJunk();
        case 1:
            for (int i = below(3); i > 0; --i)
                inner.insert(randomText(1 + below(5)), randomValue(1));
            if (chance(30))
                inner.insert(QStringLiteral("token"), pathLike());
            return name + QLatin1Char(':') + compact(inner);
        case 2:
            return name + QStringLiteral("token=") + percentJunk() + QStringLiteral("&userId=") + pathLike();
        case 3:
            return QString(randomChar()) + name;
        case 4:
            return name + randomChar();
        case 5:
            return QStringLiteral("foo://") + name;
        case 6:
            return name.toUpper();
        case 7:
            return name.left(below(name.size()));
        default:
            return name;
        }
    }

    QJsonValue id()
    {
        const int kind = below(6);
        return kind == 0 ? randomValue(1)
            : kind == 1  ? QJsonValue(QJsonValue::Undefined)
                         : QJsonValue(QStringLiteral("fz-%1").arg(m_count));
    }

    QJsonObject structured(const Scheme &scheme)
    {
        QJsonObject obj { { "request", requestName(scheme.name) } };
        const QJsonValue messageId = id();
        if (!messageId.isUndefined())
            obj.insert(QStringLiteral("id"), messageId);
        for (const QString &field : scheme.fields)
            if (chance(80))
                obj.insert(field, fieldValue(field));
        for (int i = below(3); i > 0; --i)
            obj.insert(randomText(1 + below(6)), randomValue(1));
        return obj;
    }

    QString nonObject()
    {
        switch (const int kind = below(6)) {
        case 1:
            return QString::number(qint64(m_rng()));
        case 4:
            return compact({ { "request", randomValue(1) }, { "id", id() } });
        case 5:
            return QString(below(2000), QLatin1Char('[')); // deep nesting, cut off
        default:
            return QStringList { "[1,2,{\"request\":\"jsVersion://\"}]", "", "\"close_window\"", "null" }.at(kind);
        }
    }

    std::mt19937_64 m_rng;
    QString m_root;
    int m_count = 0;
};

// Whether the message would carry an unknown role into the class information,
// which ends the process. Errs towards yes; such messages are set aside.
inline bool endsTheProcess(const QString &text)
{
    const bool user = text.contains(QLatin1String("user://"));
    const bool join = text.contains(QLatin1String("joinclassroom://"));
    if (!user && !join)
        return false;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return true;
    const QJsonObject obj = doc.object();
    const QJsonValue request = obj.value(QLatin1String("request"));
    if (!request.isString())
        return false;
    auto isRole = [](const QJsonValue &v) { return v.isString() && kRoles.contains(v.toString()); };
    if (request.toString().startsWith(QLatin1String("joinclassroom://"))) {
        if (!isRole(obj.value(QLatin1String("cls_user_type"))))
            return true;
        for (const QJsonValue &member : obj.value(QLatin1String("users")).toArray())
            if (!isRole(member.toObject().value(QLatin1String("role"))))
                return true;
        return false;
    }
    if (request.toString().startsWith(QLatin1String("user://"))) {
        if (obj.contains(QLatin1String("userType"))) {
            const QJsonValue type = obj.value(QLatin1String("userType"));
            return type.isString() && !type.toString().isEmpty() && !isRole(type);
        }
        return request.toString().contains(QLatin1String("userType"));
    }
    return false;
}

// "close_window" closes when it is the word before "://" or the first delimiter.
inline bool isCloseRequest(const QString &text)
{
    if (!text.contains(QLatin1String("close_window")))
        return false;
    const QJsonObject obj = QJsonDocument::fromJson(text.toUtf8()).object();
    const QString request = obj.value(QLatin1String("request")).toString();
    int end = request.indexOf(QLatin1String("://"));
    if (end < 0)
        end = request.indexOf(QRegularExpression(QStringLiteral("[:?/&={#]")));
    return request.left(end) == QLatin1String("close_window");
}

} // namespace fuzz
