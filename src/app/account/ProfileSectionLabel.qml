import QtQuick
import QtQuick.Controls
import Papelo
import QtQuick.Layouts

// A section heading of the account page: icon and text in the headline style.
RowLayout {
    id: heading
    property string icon
    property string text

    spacing: 6
    Icon {
        name: heading.icon
        size: Theme.headlineSize + 2
        color: Theme.primaryText
    }
    Label {
        text: heading.text
        AccessibleExtras.role: Accessible.Heading
        font.pixelSize: Theme.headlineSize
        font.weight: Font.DemiBold
        color: Theme.primaryText
    }
}
