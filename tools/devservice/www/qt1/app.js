// Demo lesson page: drives the client through the page bridge like the real
// whiteboard does, and shows every reply and notification it receives.
(function () {
    "use strict";
    var $ = function (id) { return document.getElementById(id); };

    function append(listId, text, failed) {
        var item = document.createElement("li");
        item.textContent = new Date().toLocaleTimeString() + " " + text;
        if (failed)
            item.className = "fail";
        var list = $(listId);
        list.insertBefore(item, list.firstChild);
    }

    function show(value) {
        return typeof value === "string" ? value : JSON.stringify(value);
    }

    function send(message, onOk) {
        if (typeof window.qtQuery !== "function") {
            append("replies", message.request + " (not inside the client)", true);
            return;
        }
        message.onSuccess = function (successMsg) {
            append("replies", message.request + " ok " + show(successMsg));
            if (onOk)
                onOk(successMsg);
        };
        message.onFailure = function (failureVal, failureMsg) {
            append("replies", message.request + " failed " + show(failureVal) + ": " + show(failureMsg), true);
        };
        window.qtQuery(message);
    }

    function role() { return $("role").value; }
    function user() {
        return role() === "teacher" ? { id: "10001", name: "Demo Teacher" } : { id: "20002", name: "Demo Student" };
    }

    $("btnSignIn").onclick = function () {
        send({ request: "user://", userType: role(), userID: user().id, userName: user().name, token: "demo-token",
               H5version: "1.0.0" }, function () {
            $("status").textContent = "Signed in as " + user().name;
            $("status").className = "status in";
        });
    };
    var peerNames = ["Demo Student", "Second Student", "Teaching Assistant", "Fourth Student"];
    function member(role, uid, name) {
        var id = String(uid);
        return { role: role, uid: id, name: name, agora_id: id, trtc_id: id, zego_id: id, qlive_id: id };
    }
    var classUsers = [];
    // Who is in the room, as the service would push it: us, and everyone once the room is entered.
    function sendOnlineState(everyone) {
        send({ request: "user_viewer://", online_state: classUsers.map(function (u) {
            return { uid: u.uid, online: everyone || u.uid === String(user().id) };
        }) });
    }
    // The class's members: the teacher, and one student in a one-to-one class
    // (categories 1 to 4), otherwise one per simulated peer.
    function classMembers() {
        var category = Number($("classType").value);
        var users = [member("teacher", 10001, "Demo Teacher")];
        var students = category <= 4 ? 1 : Math.max(1, Number($("simPeers").value));
        for (var i = 0; i < students; ++i)
            users.push(member("student", 20002 + i, peerNames[i % peerNames.length]));
        return users;
    }
    $("btnJoin").onclick = function () {
        var users = classMembers();
        send({ request: "joinclassroom://", token: "demo-class-1", classname: "Demo class", cls_user_type: role(),
               cls_category: Number($("classType").value), users: users }, function () {
            $("status").textContent = "In class: Demo class";
            classUsers = users;
            sendOnlineState(false);
        });
    };
    // Leaving the class leaves its media room too, as the service's page does.
    $("btnQuitClass").onclick = function () {
        send({ request: $("vendor").value + "://VoiceRoomLogout" });
        send({ request: "quitclassroom://" }, function () {
            $("status").textContent = "Signed in as " + user().name;
            classUsers = [];
        });
    };
    function enterRoom() {
        send({ request: $("vendor").value + "://VoiceRoomLogin", sig: "demo-sig", courseId: "123456",
               uid: user().id, roomid: "123456", usrName: user().name, userId: user().id },
             function () { sendOnlineState(true); });
    }
    // iLive signs in with its own account ("user:password") before its room.
    $("btnEnterRoom").onclick = function () {
        if ($("vendor").value === "qcloud")
            send({ request: "qcloud://VoiceInit", account: user().id + ":demo-pass" }, enterRoom);
        else
            enterRoom();
    };
    $("btnLeaveRoom").onclick = function () { send({ request: $("vendor").value + "://VoiceRoomLogout" }); };
    $("btnStartRecord").onclick = function () {
        send({ request: "record://", oper: "start", token: "demo-class-1", userId: user().id,
               cls_user_type: role() });
    };
    $("btnStopRecord").onclick = function () {
        send({ request: "record://", oper: "stop", token: "demo-class-1", userId: user().id });
    };
    // From the home view: the client brings the page back home when the test closes.
    $("btnDeviceTest").onclick = function () { send({ request: "module_device_test://", homeFlag: true }); };
    $("btnSystemInfo").onclick = function () { send({ request: "system_info://" }); };
    $("btnVersion").onclick = function () { send({ request: "jsVersion://" }); };
    $("btnClose").onclick = function () { send({ request: "close_window" }); };
    $("btnSimApply").onclick = function () {
        // The simulated peers are the other members: a student meets the
        // teacher first, a teacher the students.
        var count = Number($("simPeers").value);
        var others = [member("teacher", 10001, "Demo Teacher")];
        for (var s = 0; s <= count; ++s)
            others.push(member("student", 20002 + s, peerNames[s % peerNames.length]));
        others = others.filter(function (u) { return u.uid !== String(user().id); });
        var peers = [];
        for (var i = 0; i < count && i < others.length; ++i)
            peers.push({ uid: Number(others[i].uid), name: others[i].name, volume: 120 + 40 * i,
                         joinAfterMs: 300 + 400 * i });
        send({ request: "simroom://config", peers: peers, joinDelayMs: Number($("simJoinDelay").value),
               jitterMs: Number($("simJitter").value), driftPpm: Number($("simDrift").value),
               joinError: $("simFailJoin").checked ? 17 : 0,
               failConnectionAfterMs: $("simDrop").checked ? 5000 : -1 }, showSimPeers);
    };
    // The peers the room was given, to act for one of them mid-class.
    function showSimPeers(config) {
        var select = $("simPeer");
        select.textContent = "";
        ((config && config.peers) || []).forEach(function (peer) {
            var option = document.createElement("option");
            option.value = String(peer.uid);
            option.textContent = peer.name + " (" + peer.uid + ")";
            select.appendChild(option);
        });
    }
    Array.prototype.forEach.call($("simPeerActions").querySelectorAll("button"), function (button) {
        button.onclick = function () {
            if ($("simPeer").value)
                send({ request: "simroom://peer", uid: Number($("simPeer").value),
                       action: button.getAttribute("data-action") });
        };
    });
    $("home").onclick = function () { append("notifications", "home"); };

    // Functions the client calls by name.
    function notifier(name) {
        return function () {
            append("notifications", name + "(" + Array.prototype.map.call(arguments, show).join(", ") + ")");
        };
    }
    ["jsDeviceStatusNotify", "jsVideoHeight", "jsQuitRoomNotify", "jsDateTime", "goOutClassRoom",
     "h5DownloadState", "jsFunPingTcp", "jsFunCtrl", "jsFunScreen", "jsTransferAudioURL",
     "jsUploadProcessNotify", "jsDeviceOpenProblem"].forEach(function (name) { window[name] = notifier(name); });
    // The uploaded recording's address, where a teacher would look for it.
    var logTransfer = window.jsTransferAudioURL;
    window.jsTransferAudioURL = function (url, token) {
        logTransfer(url, token);
        $("recordingUrl").textContent = "Uploaded " + token + ": " + url;
    };
    var logProgress = window.jsUploadProcessNotify;
    window.jsUploadProcessNotify = function (state, value, token) {
        logProgress(state, value, token);
        if (state === "upload_progress")
            $("recordingUrl").textContent = "Uploading " + token + ": " + value + " %";
        else if (state === "upload_audio_fail")
            $("recordingUrl").textContent = "Upload of " + token + " failed";
    };
    // Diagnostics: the server delay arrives with the room's delays.
    var logDelay = window.jsFunPingTcp;
    window.jsFunPingTcp = function (transport, lastmile, server) {
        logDelay(transport, lastmile, server);
        $("serverDelay").textContent = server + " ms";
    };
    function showReport(text) {
        var report = JSON.parse(text);
        var lines = [];
        ["os", "system", "network", "device_info"].forEach(function (part) {
            Object.keys(report[part] || {}).forEach(function (key) {
                lines.push(part + "." + key + ": " + report[part][key]);
            });
        });
        $("systemReport").textContent = lines.join("\n");
        $("systemReport").hidden = false;
    }
    $("btnReport").onclick = function () { send({ request: "system_info://" }, showReport); };
    // The archive is built and sent in the background; the development
    // store shows when it has arrived.
    function devGet(path, onText) {
        var xhr = new XMLHttpRequest();
        xhr.open("GET", path);
        xhr.onload = function () { onText(xhr.status === 200 ? xhr.responseText : ""); };
        xhr.onerror = function () { onText(""); };
        xhr.send();
    }
    $("btnUploadLogs").onclick = function () {
        var name = "/" + user().id + "_";
        send({ request: "upload_log://" }, function () {
            $("logsResult").textContent = "Uploading logs…";
            var tries = 0;
            (function poll() {
                devGet("/dev/objects?bucket=lumira-pc-files&prefix=lumiraLogs/", function (text) {
                    var mine = text.split("\n").filter(function (line) { return line.indexOf(name) > 0; });
                    if (mine.length > 0)
                        $("logsResult").textContent = "Logs in the store: " + mine.join(", ");
                    else if (++tries < 30)
                        setTimeout(poll, 1000);
                    else
                        $("logsResult").textContent = "No log archive in the store (signed in? see the client log)";
                });
            })();
        });
    };
    $("btnScreenshot").onclick = function () {
        $("shotResult").textContent = "Taking a screenshot…";
        send({ request: "capture_image://" });
    };
    var logScreen = window.jsFunScreen;
    window.jsFunScreen = function (url) {
        logScreen(url);
        $("shotResult").textContent = "Screenshot: " + url;
        var key = url.replace(/^[a-z]+:\/\/[^/]+\//, "");
        $("shotImage").src = "/dev/object?bucket=lumira-files&key=" + encodeURIComponent(key);
        $("shotImage").hidden = false;
    };
    var logToast = notifier("fromCtoast");
    var toastTimer = null;
    window.fromCtoast = function (msg, mode, time) {
        logToast(msg, mode, time);
        var toast = $("toast");
        toast.textContent = msg;
        toast.className = "toast" + (mode === "error" ? " error" : "");
        toast.hidden = false;
        clearTimeout(toastTimer);
        toastTimer = setTimeout(function () { toast.hidden = true; }, Number(time) || 1500);
    };

    // The whiteboard itself: freehand strokes.
    var canvas = $("board");
    var ctx = canvas.getContext("2d");
    function fit() {
        var rect = canvas.getBoundingClientRect();
        var image = ctx.getImageData(0, 0, canvas.width, canvas.height);
        canvas.width = Math.max(1, rect.width);
        canvas.height = Math.max(1, rect.height);
        ctx.putImageData(image, 0, 0);
        ctx.lineWidth = 3;
        ctx.lineCap = "round";
        ctx.strokeStyle = "#2f6bff";
    }
    var drawing = false;
    canvas.addEventListener("mousedown", function (e) { drawing = true; ctx.beginPath(); ctx.moveTo(e.offsetX, e.offsetY); });
    canvas.addEventListener("mousemove", function (e) { if (drawing) { ctx.lineTo(e.offsetX, e.offsetY); ctx.stroke(); } });
    window.addEventListener("mouseup", function () { drawing = false; });
    $("btnClearBoard").onclick = function () { ctx.clearRect(0, 0, canvas.width, canvas.height); };
    window.addEventListener("resize", fit);
    fit();
    ctx.font = "28px sans-serif";
    ctx.fillStyle = "#8a93a6";
    ctx.fillText("今天的课程：分数的加法", 40, 60);

    if (typeof window.qtQuery !== "function" || typeof window.callQML !== "function")
        $("banner").hidden = false;
})();
