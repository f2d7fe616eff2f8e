import QtQuick 2.9
import QtQuick.Controls 2.2
// Qt.labs.platform has a Dialog of its own.
import QtQuick.Controls 2.2 as Controls2
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
        return appSettings.formatSize(size)
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

    // The close button of every page, and the window manager's: where the tray icon is shown the
    // program keeps running there (said once), elsewhere closing the window quits.
    function closeWindow() {
        if (!trayIcon.available || !trayIcon.visible) {
            Qt.quit()
        } else if (!settings.trayNoticeShown) {
            trayNotice.open()
        } else {
            mainWindow.hide()
        }
    }

    // Asks the server only while no incoming transfer is pending; newFiles() brings the answer.
    function checkNewFiles() {
        if (downloadList.length === 0)
            cmDownload.checkNewFiles()
        else
            mainStack.currentIndex = 2
    }

    // "Check now": the incoming transfers and the delivery of the sent ones, at once.
    function checkNow() {
        checkNewFiles()
        fileEventsModel.checkDelivered()
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
        property bool trayNoticeShown
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

    onClosing: {
        close.accepted = false
        closeWindow()
    }

    Controls2.Dialog {
        id: trayNotice
        objectName: "trayNotice"
        modal: true
        anchors.centerIn: parent
        width: parent.width - 60
        title: qsTr("Tessary keeps running")
        standardButtons: Controls2.Dialog.Ok
        onClosed: {
            settings.trayNoticeShown = true
            mainWindow.hide()
        }

        Text {
            width: trayNotice.availableWidth
            wrapMode: Text.WordWrap
            font.pointSize: 12
            text: qsTr("Tessary keeps running in the tray and receives files there. To end it, choose Quit in the menu of its tray icon.")
        }
    }

    Component.onCompleted: {
        if (privKeysModel.rowCount() > 0)
            privKeyID = privKeysModel.remoteKeyId(0)
        if (privKeyID !== "") {
            // Without a tray only the task bar can bring a hidden window back.
            if (settings.launchMinimized && trayIcon.available)
                mainWindow.hide()
            else if (settings.launchMinimized)
                mainWindow.showMinimized()
            mainStack.currentIndex = 1
            trayIcon.show()
            checkNewFiles()
        }
    }
}
