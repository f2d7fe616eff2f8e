import QtQuick 2.9
import QtQuick.Controls 2.2
import Qt.labs.settings 1.0
import QtQuick.Layouts 1.3
import Qt.labs.platform 1.0
import QtQuick.Controls.Material 2.2
import org.tesry 1.0
import "Controls"

ApplicationWindow {
    id: mainWindow
    objectName: "mainWindow"

    readonly property var colorMap: ({
            "blue": "#28aae1",
            "green": "#23b88c",
            "grey1": "#353e48",
            "grey2": "#6a7980",
            "grey3": "#b9c2c7",
            "grey4": "#d7dedf",
            "grey5": "#e3eaf0",
            "orange": "#ea6d23",
            "red": "#cc2527"
        })
    readonly property var trayIcons: ({
            "main": "assets/_appicon.svg",
            "addFiles": "assets/add_tray_icon.svg",
            "uploading": "assets/uploading_tray_icon.svg",
            "downloading": "assets/downloading_tray_icon.svg",
            "success": "assets/successful_tray_icon.svg",
            "transferNotify": "assets/transfer_notification_tray_icon.svg"
        })
    property string privKeyID: ""
    property var downloadList: []

    function setTrayIcon(name) {
        trayIcon.iconSource = trayIcons[name]
    }

    function formatSize(size) {
        if (size > 1048576)
            return qsTr("%1 Mb").arg(Math.round(size / 1048576 * 100) / 100)
        return qsTr("%1 Kb").arg(Math.round(size / 1024 * 100) / 100)
    }

    // The pages' progress bars follow a container manager's progressInit and progressValueChanged;
    // a negative value means the step cannot tell how far it is.
    function initProgress(bar, label, min, max, text) {
        bar.from = min
        bar.to = max
        bar.value = min
        label.text = text
    }
    function setProgress(bar, value) {
        bar.indeterminate = value < 0
        if (value >= 0)
            bar.value = value
    }

    // Contact names and key ids go into the few styled titles; they must stay text.
    function escapeHtml(text) {
        return String(text).replace(/&/g, "&amp;").replace(/</g, "&lt;").replace(/>/g, "&gt;").replace(/"/g, "&quot;")
    }

    // The program keeps running in the tray. A desktop without a tray would leave no way back to
    // a hidden window (a second start only finds the lock), so there it is minimised instead.
    function hideToTray() {
        if (trayIcon.available)
            mainWindow.hide()
        else
            mainWindow.showMinimized()
    }

    // Asks the server only while no incoming transfer is pending; newFiles() brings the answer.
    function checkNewFiles() {
        if (downloadList.length === 0)
            cmDownload.checkNewFiles()
    }

    width: 450
    height: 600
    minimumWidth: 450
    minimumHeight: 600
    maximumWidth: 600
    // The window draws its own title bar with a drag area and a close button.
    flags: Qt.Sheet | Qt.FramelessWindowHint
    visible: true
    title: qsTr("Tessary")
    Material.accent: colorMap.green
    Material.primary: colorMap.grey5

    Settings {
        id: settings
        property bool launchMinimized
        property alias x: mainWindow.x
        property alias y: mainWindow.y
        property alias width: mainWindow.width
        property alias height: mainWindow.height
    }

    PubKeysModel {
        id: pubKeysModel
    }
    PrivKeysModel {
        id: privKeysModel
    }
    FileEventsModel {
        id: fileEventsModel
    }
    UnfinishedUploadsModel {
        id: unfinishedUploadsModel
    }

    StackLayout {
        id: mainStack
        objectName: "mainStack"
        anchors.fill: parent
        currentIndex: 0

        PageGenKeyPair {}
        PageMain {}
        PageDownload {}
    }

    ContainerManager {
        id: cmDownload
        prompter: dialogs

        onNewFiles: {
            if (downloadList.length > 0 || files.length === 0)
                return
            downloadList = files
            setTrayIcon("transferNotify")
            mainStack.currentIndex = 2
        }
    }

    SystemTrayIcon {
        id: trayIcon
        iconSource: trayIcons.main
        tooltip: qsTr("Tessary")
        menu: Menu {
            MenuItem {
                text: qsTr("Quit")
                onTriggered: Qt.quit()
            }
        }
        onActivated: {
            mainWindow.show()
            mainWindow.raise()
            mainWindow.requestActivate()
        }
        onMessageClicked: activated(SystemTrayIcon.Trigger)
    }

    Component.onCompleted: {
        if (privKeysModel.rowCount() > 0)
            privKeyID = privKeysModel.remoteKeyId(0)
        if (privKeyID !== "") {
            if (settings.launchMinimized)
                mainWindow.hideToTray()
            mainStack.currentIndex = 1
            trayIcon.show()
            checkNewFiles()
        }
    }
}
