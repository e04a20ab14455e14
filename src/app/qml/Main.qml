import QtQuick
import QtQuick.Controls

ApplicationWindow {
    width: 1200
    height: 800
    visible: true
    title: "Papelo"
}
