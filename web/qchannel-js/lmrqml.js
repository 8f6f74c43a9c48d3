// Lumira page bridge.
//   qtQuery({request: "scheme://...", onSuccess: fn(successMsg), onFailure: fn(failureVal, failureMsg), ...})
//   qtQueryCallback(reply)  - called by the client with the reply object
//   mqttQuery(message), openWeb(url, name)
(function (global) {
    if (global.qtQuery && global.qtQuery.lmrBridge)
        return; // already installed in this document: keep its pending callbacks

    var callbackList = {};
    var msgId = 0;
    // Ids are unique per document so that a reply meant for a page before a
    // reload can never reach a callback of the new page.
    var idPrefix = Date.now().toString(36) + Math.floor(Math.random() * 1e6).toString(36) + "-";

    function addEvent(message) {
        var id = idPrefix + (++msgId);
        callbackList[id] = { id: id, onSuccess: message.onSuccess, onFailure: message.onFailure };
        return id;
    }

    function execEvent(msg) {
        var record = callbackList[msg.id];
        if (!record)
            return;
        delete callbackList[msg.id];
        if (msg.status === "success") {
            if (typeof record.onSuccess === "function")
                record.onSuccess(msg.successMsg);
        } else if (msg.status === "failure") {
            if (typeof record.onFailure === "function")
                record.onFailure(msg.failureVal, msg.failureMsg);
        }
    }

    // The client installs callQML into every document; a page script may run
    // before that, so early messages wait for it a while, in order.
    var waiting = [];
    var waitedMs = 0;
    function flush() {
        if (typeof global.callQML === "function") {
            var queued = waiting;
            waiting = [];
            queued.forEach(function (text) { global.callQML(text); });
            return;
        }
        waitedMs += 10;
        if (waitedMs > 5000) {
            console.error("lmrqml: not running inside the Lumira client");
            waiting = [];
            return;
        }
        setTimeout(flush, 10);
    }

    global.qtQuery = function (message) {
        if (typeof message === "string")
            message = JSON.parse(message);
        message.id = addEvent(message);
        var text = JSON.stringify(message);
        if (typeof global.callQML === "function" && waiting.length === 0) {
            global.callQML(text);
        } else {
            waiting.push(text);
            if (waiting.length === 1) {
                waitedMs = 0;
                setTimeout(flush, 0);
            }
        }
        return message.id;
    };
    global.qtQuery.lmrBridge = true;

    global.qtQueryCallback = function (msg) {
        if (typeof msg === "string")
            msg = JSON.parse(msg);
        if (msg && msg.id !== undefined)
            execEvent(msg);
    };

    global.mqttQuery = function (msg) {
        if (typeof global.forwardMQTT === "function")
            global.forwardMQTT(msg);
    };

    global.openWeb = function (url, name) {
        return global.open(url, name);
    };
})(window);
