#include "device/BoardCheck.h"

#include "app/TSpdlog.h"

#include <QMutexLocker>
#include <QStringList>

#include <hidapi/hidapi.h>

namespace
{

constexpr unsigned short kGenericDesktop = 1;
constexpr unsigned short kPointer = 1;
constexpr unsigned short kMouse = 2;

QString keyOf(const hid_device_info *device)
{
    return QStringLiteral("%1 %2").arg(device->vendor_id).arg(device->product_id);
}

} // namespace

BoardCheck::Hid BoardCheck::systemHid() { return { hid_enumerate, hid_free_enumeration }; }

BoardCheck::BoardCheck(bool hidInitialised, Hid hid, QObject *parent)
    : QObject(parent)
    , m_hidInitialised(hidInitialised)
    , m_hid(std::move(hid))
{
}

BoardCheck *BoardCheck::createWithSystemHid(QObject *parent)
{
    return new BoardCheck(hid_init() == 0, systemHid(), parent);
}

bool BoardCheck::plugIn()
{
    TSpdlog *log = TSpdlog::instance();
    if (!m_hidInitialised) {
        log->otherError(QStringLiteral("hid init fail,can not read any hid devices!!"));
        return false;
    }
    QMutexLocker locker(&m_mutex);
    hid_device_info *devices = m_hid.enumerate(0, 0);
    log->otherInfo(QStringLiteral("Start get_devices board"));

    int result = 0;
    QStringList candidates;
    for (const hid_device_info *d = devices; d; d = d->next) {
        if (d->usage_page != kGenericDesktop || (d->usage != kMouse && d->usage != kPointer))
            continue;
        const QString product = d->product_string ? QString::fromWCharArray(d->product_string) : QString();
        if (product.toLower().contains(QLatin1String("tablet")))
            result = 1;
        const QString key = keyOf(d);
        if (!candidates.contains(key))
            candidates.append(key);
    }
    log->otherInfo(QStringLiteral("Init detect board %1").arg(candidates.size()));

    log->otherInfo(QStringLiteral("Multi detect board %1").arg(candidates.size()));
    for (const QString &key : qAsConst(candidates)) {
        int vendorCollections = 0;
        for (const hid_device_info *d = devices; d; d = d->next) {
            if (keyOf(d) != key)
                continue;
            log->otherInfo(QStringLiteral("id:%1 page:%2 usage:%3").arg(key).arg(d->usage_page).arg(d->usage));
            if (d->usage_page > 0xFEFF && d->usage > 9)
                ++vendorCollections;
        }
        log->otherInfo(QStringLiteral("Fin detect add_pair %1").arg(vendorCollections));
        if (vendorCollections >= 1)
            ++result;
    }
    if (devices)
        m_hid.freeEnumeration(devices);
    return result > 0;
}
