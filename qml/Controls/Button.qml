import QtQuick 2.9
import QtQuick.Controls 2.2 as Controls
import QtQuick.Controls.Material 2.2

// Flat buttons: the accent fill when highlighted, a quiet grey otherwise.
Controls.Button {
    Material.elevation: 0
    Material.background: highlighted ? undefined : colorMap.grey4
    Material.foreground: highlighted ? undefined : colorMap.grey1
    font.family: "Geometria"
    font.weight: Font.Medium
}
