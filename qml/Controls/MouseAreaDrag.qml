import QtQuick 2.9

// Dragging this area moves the whole window: the window draws its own title bar.
MouseArea {
    property point clickPos: Qt.point(0, 0)

    anchors.fill: parent
    onPressed: clickPos = Qt.point(mouse.x, mouse.y)
    onPositionChanged: {
        mainWindow.x += mouse.x - clickPos.x
        mainWindow.y += mouse.y - clickPos.y
    }
}
