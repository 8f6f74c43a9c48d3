import QtQuick 2.12
import LMRUserInfo 1.0
import "LMRRequest.js" as Req

// The recording requests of the page dispatcher: start and stop a lesson's
// recording, and hand recordings to upload again. Replies go through the
// dispatcher.
QtObject {
    property Item dispatcher

    // The recorder answers false for a name it will not use (undefined from
    // a recorder that does not say counts as taken). Tokens and user ids name
    // files: anything but a plain name is refused here already.
    function record(obj, args) {
        var recorder = dispatcher.service("recordDispatcher")
        if (!recorder) {
            dispatcher.refuse(obj, dispatcher.failureUnavailable, "recording not available")
            return
        }
        if (args.oper === "start") {
            var token = Req.plainName(args.token)
            var userId = Req.plainName(args.userId)
            if (token === null || userId === null) {
                dispatcher.logPageError("record refused, missing or bad token or userId:", Req.show(obj.request))
                dispatcher.refuse(obj, dispatcher.failureBadRequest, "missing or bad token or userId")
                return
            }
            var previous = LMRUserInfo.getCourseToken()
            LMRUserInfo.setCourseToken(token)
            if (recorder.startRecord(token, userId, Req.text(args.cls_user_type) || "") === false) {
                LMRUserInfo.setCourseToken(previous)
                dispatcher.refuse(obj, dispatcher.failureBadRequest, "bad recording name")
                return
            }
            dispatcher.answer(obj, "")
        } else if (args.oper === "stop") {
            var stopToken = args.token === undefined || args.token === "" ? LMRUserInfo.getCourseToken()
                                                                            : Req.plainName(args.token)
            if (stopToken === null) {
                dispatcher.refuse(obj, dispatcher.failureBadRequest, "bad token")
                return
            }
            recorder.stopRecord()
            if (typeof recorder.handUpload === "function" && recorder.handUpload(stopToken, true) === false) {
                dispatcher.refuse(obj, dispatcher.failureBadRequest, "bad recording name")
                return
            }
            dispatcher.answer(obj, "")
        } else {
            dispatcher.refuse(obj, dispatcher.failureBadRequest, "unknown record oper")
        }
    }

    // Hands each lesson's recording to upload again; names that are not plain
    // are skipped, and one failure reply tells how many were.
    function reupload(obj, tokens) {
        var recorder = dispatcher.service("recordDispatcher")
        if (!recorder || typeof recorder.handUpload !== "function") {
            dispatcher.refuse(obj, dispatcher.failureUnavailable, "recording not available")
            return
        }
        var refused = 0
        tokens.forEach(function (value) {
            if (value === "")
                return
            var token = Req.plainName(value)
            if (token === null || recorder.handUpload(token, true) === false)
                ++refused
        })
        if (refused > 0) {
            dispatcher.logPageError("reupload refused " + refused + " lesson token(s):", Req.show(obj.request))
            dispatcher.refuse(obj, dispatcher.failureBadRequest, "bad lesson token: " + refused + " refused")
        } else {
            dispatcher.answer(obj, "")
        }
    }
}
