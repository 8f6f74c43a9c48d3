.pragma library
// Reading page requests: names, arguments, field checks and the size bound.
// Everything here takes page text as it comes and never throws on it.

// Same bound as QCefClient::kMaxMessageBytes, which refuses larger messages
// before they reach QML; callers that hand messages to callQML directly meet
// it here.
var maxMessageBytes = 1024 * 1024
// How much of a refused message the log keeps (QCefClient::kRefusedPrefixChars).
var refusedPrefixChars = 80

// UTF-8 size of `text`, counted no further than just past `limit`.
function utf8Size(text, limit) {
    if (text.length > limit)
        return text.length
    var bytes = 0
    for (var i = 0; i < text.length && bytes <= limit; ++i) {
        var c = text.charCodeAt(i)
        if (c < 0x80) {
            bytes += 1
        } else if (c < 0x800) {
            bytes += 2
        } else if (c >= 0xd800 && c < 0xdc00 && i + 1 < text.length
                   && text.charCodeAt(i + 1) >= 0xdc00 && text.charCodeAt(i + 1) < 0xe000) {
            bytes += 4
            ++i
        } else {
            bytes += 3
        }
    }
    return bytes
}

// The size of a message over the bound, or 0 when it is within it.
function oversize(text) {
    var bytes = utf8Size(text, maxMessageBytes)
    return bytes > maxMessageBytes ? bytes : 0
}

// The scheme of a request name: the text before "://", or for a bare name
// ("close_window") the text before its first delimiter.
function schemeOf(request) {
    var sep = request.indexOf("://")
    if (sep >= 0)
        return request.substring(0, sep)
    var end = request.search(/[:?\/&={#]/)
    return end >= 0 ? request.substring(0, end) : request
}

// The first word after "://", up to the first delimiter.
function nameOf(request) {
    var sep = request.indexOf("://")
    if (sep < 0)
        return ""
    var rest = request.substring(sep + 3)
    var end = rest.search(/[:?\/&={#]/)
    return end >= 0 ? rest.substring(0, end) : rest
}

// Whether `request` is the request `name`: "scheme://", "scheme://Name" or a
// bare "name", compared word for word from the start, so that a name that
// merely contains another ("xclose_window://", "foo://close_window") is not it.
function isRequest(request, name) {
    if (typeof request !== "string")
        return false
    var sep = name.indexOf("://")
    if (sep < 0)
        return schemeOf(request) === name
    if (schemeOf(request) !== name.substring(0, sep) || request.indexOf("://") !== sep)
        return false
    var word = name.substring(sep + 3)
    return word === "" || nameOf(request) === word
}

// decodeURIComponent that keeps the raw text (and says so) instead of throwing.
function decode(text, log) {
    try {
        return decodeURIComponent(text)
    } catch (e) {
        log("bad percent-encoding kept as sent: ", text)
        return text
    }
}

// Arguments of a request: a JSON object after ":{" in the name, or "a=b&c=d"
// after "//", then the request's own fields, which win. `log(text, pageText)`
// reports what could not be read. The result has no prototype, so no field
// name can reach one.
function requestArgs(obj, log) {
    var args = Object.create(null)
    var name = typeof obj.request === "string" ? obj.request : ""
    var json = name.indexOf(":{")
    var k
    if (json >= 0) {
        try {
            var inner = JSON.parse(name.substring(json + 1))
            if (inner !== null && typeof inner === "object" && !Array.isArray(inner)) {
                for (k in inner)
                    args[k] = inner[k]
            }
        } catch (e) {
            log("parse json error ", name)
        }
    } else {
        var rest = name.indexOf("//")
        var tail = rest >= 0 ? name.substring(rest + 2) : ""
        var query = tail.indexOf("?") >= 0 ? tail.substring(tail.indexOf("?") + 1) : tail
        query.split("&").forEach(function (pair) {
            var eq = pair.indexOf("=")
            if (eq > 0)
                args[decode(pair.substring(0, eq), log)] = decode(pair.substring(eq + 1), log)
        })
    }
    for (k in obj)
        args[k] = obj[k]
    return args
}

// A text field: strings as they are, finite numbers as text; null for a
// missing field or one of another type (never the text "undefined").
function text(value) {
    if (typeof value === "string")
        return value
    if (typeof value === "number" && isFinite(value))
        return String(value)
    return null
}

// A text field that must be present and not empty.
function required(value) {
    var t = text(value)
    return t === null || t === "" ? null : t
}

// A name that becomes part of a file name (recording token, user id): one
// plain path component, no separators, no control characters; the same rules
// as the recorder's own check (record/RecordName), which runs again natively.
function plainName(value) {
    var t = required(value)
    if (t === null || t === "." || t === ".." || t === "undefined" || t === "null" || t.length > 128
            || /[\/\\:*?"<>|\u0000-\u001f\u007f]/.test(t))
        return null
    return t
}

function isTrue(value) {
    return value === true || value === "true" || value === "1" || value === 1
}

// A text for the log and for replies: any value, made printable.
function show(value) {
    if (typeof value === "string")
        return value
    try {
        var json = JSON.stringify(value)
        return json === undefined ? String(value) : json
    } catch (e) {
        return String(value)
    }
}
