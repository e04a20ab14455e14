import QtQuick
import QtQuick.Controls

// Placeholder until the author screen lands.
Page {
    property var authorId
    title: "作者详情"
}
