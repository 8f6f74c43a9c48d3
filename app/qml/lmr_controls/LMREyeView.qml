import QtQuick 2.12

// Eye-protection tint over the whole screen.
Rectangle {
    id: eye
    color: "#452B00"

    // `value` is the strength, 0 (off) to 1 (strongest); it becomes the alpha.
    function changeColor(value) {
        var alpha = Math.floor(Math.max(0, Math.min(1, Number(value) || 0)) * 255)
        var digits = alpha.toString(16)
        eye.color = "#" + (digits.length < 2 ? "0" + digits : digits) + "452B00"
    }
}
