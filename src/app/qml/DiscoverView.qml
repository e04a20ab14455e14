import QtQuick
import QtQuick.Controls

// Placeholder until this screen lands.
Page {
    title: "发现"
}
