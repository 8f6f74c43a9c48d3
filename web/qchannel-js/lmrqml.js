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

    global.qtQuery = function (message) {
        if (typeof message === "string")
            message = JSON.parse(message);
        message.id = addEvent(message);
        if (typeof global.callQML !== "function") {
            console.error("lmrqml: not running inside the Lumira client");
            return message.id;
        }
        global.callQML(JSON.stringify(message));
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
