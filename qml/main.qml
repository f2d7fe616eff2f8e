import QtQuick 2.9
import QtQuick.Controls 2.2
import QtQuick.Controls.Material 2.2

ApplicationWindow {
    id: mainWindow
    objectName: "mainWindow"
    width: 450
    height: 600
    minimumWidth: 450
    minimumHeight: 600
    maximumWidth: 600
    visible: true
    title: qsTr("Tessary")
    Material.accent: "#23b88c"
    Material.primary: "#e3eaf0"

    Column {
        anchors.centerIn: parent
        spacing: 20
        Image {
            anchors.horizontalCenter: parent.horizontalCenter
            source: "assets/_appicon.svg"
            sourceSize.width: 96
            sourceSize.height: 96
        }
        Label {
            anchors.horizontalCenter: parent.horizontalCenter
            text: qsTr("Tessary %1").arg(appVersion)
            font.pointSize: 18
            color: "#353e48"
        }
        Label {
            anchors.horizontalCenter: parent.horizontalCenter
            text: qsTr("Secure file exchange client")
            color: "#6a7980"
        }
    }
}
