// Native entry points of the page: callQML(message) and forwardMQTT(message).
// Messages posted before the channel is up wait in order and are not lost.
(function () {
    if (window.callQML && window.callQML.lmrNative)
        return;
    var pending = [];
    var bridge = null;

    function send(text) {
        if (bridge)
            bridge.postMessage(text);
        else
            pending.push(text);
    }

    window.callQML = function (message) {
        send(typeof message === "string" ? message : JSON.stringify(message));
    };
    window.callQML.lmrNative = true;
    window.forwardMQTT = function (message) {
        send(JSON.stringify({ request: "mqtt://forward", msg: message }));
    };

    function connect() {
        var Channel = window.__lmrQWebChannel;
        if (!Channel || typeof qt === "undefined" || !qt.webChannelTransport) {
            setTimeout(connect, 5);
            return;
        }
        new Channel(qt.webChannelTransport, function (channel) {
            bridge = channel.objects.lmrBridge;
            var queued = pending;
            pending = [];
            queued.forEach(function (text) { bridge.postMessage(text); });
        });
    }
    connect();
})();
