#pragma once

#include <QMutex>
#include <QObject>

#include <functional>

struct hid_device_info;

// Finds a connected pen tablet among the HID devices. Whoever creates one
// initialises the HID library and says whether that worked.
class BoardCheck : public QObject
{
    Q_OBJECT
public:
    // The two calls of the HID library it makes; tests give recorded lists.
    struct Hid {
        std::function<hid_device_info *(unsigned short vendorId, unsigned short productId)> enumerate;
        std::function<void(hid_device_info *)> freeEnumeration;
    };
    static Hid systemHid();

    BoardCheck(bool hidInitialised, Hid hid, QObject *parent = nullptr);
    // Initialises the HID library (hid_init) for the new object.
    static BoardCheck *createWithSystemHid(QObject *parent = nullptr);

    Q_INVOKABLE bool plugIn();

private:
    bool m_hidInitialised = false;
    Hid m_hid;
    QMutex m_mutex; // detections run one at a time
};
