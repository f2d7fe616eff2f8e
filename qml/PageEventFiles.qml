import QtQuick 2.9
import QtQuick.Controls 2.2
import QtQuick.Layouts 1.3
import QtQuick.Controls.Material 2.2
import "Controls"

// The files one transfer of the events tab carried.
Page {
    id: root
    objectName: "pageEventFiles"

    property var files: []

    // row: of fileEventsModel; counterpart: the contact's name as the tab shows it.
    function show(row, status, counterpart) {
        var name = mainWindow.escapeHtml(counterpart)
        // A rejection is recorded by both sides.
        if (status === 0)
            title = qsTr("Files received from <b>%1</b>").arg(name)
        else if (status === 1)
            title = qsTr("Rejected transfer with <b>%1</b>").arg(name)
        else
            title = qsTr("Files sent to <b>%1</b>").arg(name)
        files = fileEventsModel.files(row)
        mainStackView.push(root)
    }

    visible: false

    background: Rectangle {
        color: Material.primary
    }

    Text {
        objectName: "eventFilesEmpty"
        anchors.centerIn: parent
        width: parent.width - 60
        visible: root.files.length === 0
        horizontalAlignment: Text.AlignHCenter
        wrapMode: Text.WordWrap
        text: qsTr("No list of files was kept for this transfer.")
        font.pointSize: 14
        font.weight: Font.ExtraLight
    }

    ListView {
        id: lvEventFiles
        objectName: "lvEventFiles"
        anchors.fill: parent
        anchors.topMargin: 5
        spacing: 2
        clip: true
        model: root.files
        ScrollBar.vertical: ScrollBar {}

        delegate: Rectangle {
            width: lvEventFiles.width
            height: 50
            color: root.Material.background

            RowLayout {
                anchors.fill: parent
                anchors.leftMargin: 15
                anchors.rightMargin: 15
                spacing: 15

                Text {
                    objectName: "eventFileName_" + index
                    Layout.fillWidth: true
                    text: modelData.name
                    elide: Text.ElideMiddle
                    font.pointSize: 12
                }
                Text {
                    text: mainWindow.formatSize(modelData.size)
                    font.pointSize: 12
                    color: colorMap.grey2
                }
            }
        }
    }
}
