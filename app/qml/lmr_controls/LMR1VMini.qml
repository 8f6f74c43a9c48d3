import QtQuick 2.12

// Mini class: like one-to-many, two tiles a row.
LMR1VN {
    tileColumns: 2
}
