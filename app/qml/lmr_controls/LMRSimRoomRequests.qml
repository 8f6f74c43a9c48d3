import QtQuick 2.12

// Development builds only: the page's control of the simulated room behind the
// SDK stand-ins. Replies go through the dispatcher.
QtObject {
    property Item dispatcher

    function configure(obj) {
        var room = dispatcher.service("cppSimRoom")
        if (!room) {
            dispatcher.refuse(obj, dispatcher.failureUnavailable, "no simulated room in this build")
            return
        }
        var settings = {}
        for (var k in obj)
            if (k !== "id" && k !== "request")
                settings[k] = obj[k]
        if (room.configure(JSON.stringify(settings)))
            dispatcher.answer(obj, JSON.parse(room.configuration()))
        else
            dispatcher.refuse(obj, dispatcher.failureBadRequest, "bad simulated room settings")
    }

    // A simulated peer joins, leaves, or switches its camera or microphone.
    function peerAction(obj) {
        var room = dispatcher.service("cppSimRoom")
        if (!room) {
            dispatcher.refuse(obj, dispatcher.failureUnavailable, "no simulated room in this build")
            return
        }
        var uid = Number(obj.uid)
        if (typeof obj.action !== "string" || !(uid > 0 && uid <= 2147483647 && Math.floor(uid) === uid)) {
            dispatcher.refuse(obj, dispatcher.failureBadRequest, "bad simulated peer action")
            return
        }
        if (room.peerAction(uid, obj.action))
            dispatcher.answer(obj, { "uid": uid, "action": obj.action })
        else
            dispatcher.refuse(obj, dispatcher.failureBadRequest, "simulated peer action refused")
    }
}
