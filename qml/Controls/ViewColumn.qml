import QtQuick 2.9
import QtQuick.Layouts 1.3

// One view of a page's StackLayout: a column as high as its content, centred vertically in
// whatever height the StackLayout gives it, so views of different heights all sit in the middle.
Item {
    default property alias content: column.data
    property alias spacing: column.spacing

    implicitWidth: column.implicitWidth
    implicitHeight: column.implicitHeight

    ColumnLayout {
        id: column
        width: parent.width
        anchors.verticalCenter: parent.verticalCenter
        spacing: 40
    }
}
