import QtQuick 2.9
import QtQuick.Controls 2.2 as Controls

// A button of a page's header row: the label shows where it fits, else only the icon, with the label
// as its tool tip (long translations in a narrow window).
Button {
    id: control

    display: labelMetrics.width + icon.width + spacing + leftPadding + rightPadding > width
             ? Controls.AbstractButton.IconOnly : Controls.AbstractButton.TextBesideIcon
    Controls.ToolTip.visible: hovered && display === Controls.AbstractButton.IconOnly
    Controls.ToolTip.text: text

    TextMetrics {
        id: labelMetrics
        font: control.font
        // Material writes button labels in capitals.
        text: control.text.toLocaleUpperCase()
    }
}
