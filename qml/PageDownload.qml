import QtQuick 2.9
import QtQuick.Controls 2.2
import QtQuick.Layouts 1.3
import QtQuick.Controls.Material 2.2
import Qt.labs.settings 1.0
import Qt.labs.platform 1.0 as Platform
import "Controls"

Page {
    id: root
    objectName: "pageDownload"

    property string contactName
    property string uploaderKeyId
    property string fileId
    // Bytes; a real number, so that containers above 2 GiB are shown right.
    property real fileSize
    property bool rejected: false
    property string extractPath
    // What came of each file of the container, from cmDownload.arrived().
    property var arrivedFiles: []
    readonly property int listedFiles: 100
    readonly property int writtenCount: arrivedFiles.filter(function (file) {
        return file.written
    }).length
    // Whether the sender the relay names is a verified contact, as a line to show.
    property string senderTrust

    function reset() {
        stackDownload.currentIndex = 0
        var head = mainWindow.downloadList[0]
        var title = pubKeysModel.contactTitle(head.uploaderKeyId)
        contactName = title !== "" ? title : head.uploaderKeyId
        uploaderKeyId = head.uploaderKeyId
        senderTrust = pubKeysModel.trustText(uploaderKeyId)
        fileId = head.fileId
        fileSize = head.fileSize
        rejected = false
        arrivedFiles = []
        textHeader.text = qsTr("Transfer data request from <b>%1</b>").arg(mainWindow.escapeHtml(contactName))
        if (extractPath === "")
            extractPath = cmDownload.defaultExtractPath()
        trayIcon.showMessage(qsTr("There is new files for you"), qsTr("Transfer data request from %1").arg(contactName),
                             Platform.SystemTrayIcon.Information, 10000)
    }

    function downloadStart() {
        stackDownload.currentIndex = 2
        mainWindow.setTrayIcon("downloading")
        textHeader.text = qsTr("Transfer data from <b>%1</b>").arg(mainWindow.escapeHtml(contactName))
        progressImage.source = "assets/downloading_from_server.png"
        progressText.text = qsTr("Downloading data from server...")
        cmDownload.downloadById(fileId, fileSize, uploaderKeyId, extractPath)
    }

    // Asked first; nothing happens when the answer is no.
    function reject() {
        rejected = true
        if (!cmDownload.rejectFile(fileId, fileSize, uploaderKeyId))
            rejected = false
    }

    visible: false
    onVisibleChanged: {
        if (visible && mainWindow.downloadList.length > 0)
            reset()
    }

    Settings {
        id: downloadSettings
        property alias extractPath: root.extractPath
    }

    Connections {
        target: cmDownload
        function onDecryptionStart() {
            mainWindow.setTrayIcon("downloading")
            progressImage.source = "assets/downloading_from_server.png"
            progressText.text = qsTr("Decrypting data...")
        }
        function onArrived(files) {
            root.arrivedFiles = files
        }
        function onInfo(text) {
            pbText.text = text
        }
        function onProgressInit(min, max, text) {
            mainWindow.initProgress(pbProgress, pbText, min, max, text)
        }
        function onProgressValueChanged(value) {
            mainWindow.setProgress(pbProgress, value)
        }
        function onServerClear(fileId, rejected) {
            stackDownload.currentIndex = 2
            progressImage.source = "assets/server_clean.png"
            progressText.text = qsTr("Clear data on server...")
            pbText.text = ""
            pbProgress.indeterminate = true
        }
        function onCleared() {
            mainWindow.downloadList = mainWindow.downloadList.slice(1)
            // The transfer was recorded as received or as rejected.
            fileEventsModel.select()
            if (root.rejected) {
                mainStack.currentIndex = 1
                return
            }
            stackDownload.currentIndex = 3
            mainWindow.setTrayIcon("success")
        }
        function onCanceled() {
            mainStack.currentIndex = 1
        }
        function onError(text) {
            mainWindow.setTrayIcon("main")
            errorText.text = text
            stackDownload.currentIndex = stackDownload.count - 1
        }
    }

    header: Item {
        height: 60

        MouseAreaDrag {}

        // Back from the folder to the offer, and from the offer home: it is offered again later.
        ToolButton {
            objectName: "btnDownloadBack"
            x: 5
            anchors.verticalCenter: parent.verticalCenter
            visible: stackDownload.currentIndex <= 1
            onClicked: {
                if (stackDownload.currentIndex === 1)
                    stackDownload.currentIndex = 0
                else
                    mainStack.currentIndex = 1
            }

            Image {
                anchors.centerIn: parent
                source: "assets/back_icon.svg"
            }
        }
        Image {
            x: 10
            anchors.verticalCenter: parent.verticalCenter
            source: "assets/logo_small.svg"
            visible: stackDownload.currentIndex === 3
        }
        Text {
            id: textHeader
            objectName: "downloadHeaderText"
            anchors.fill: parent
            anchors.leftMargin: 60
            anchors.rightMargin: 60
            visible: stackDownload.currentIndex !== 3
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
            font.pointSize: 12
            elide: Text.ElideRight
            textFormat: Text.StyledText
        }
        ToolButton {
            objectName: "btnCloseDownload"
            width: 35
            height: 35
            anchors.right: parent.right
            anchors.rightMargin: 15
            anchors.verticalCenter: parent.verticalCenter
            icon.source: "assets/close_icon.svg"
            icon.color: "transparent"
            onClicked: mainWindow.closeWindow()
        }
    }

    StackLayout {
        id: stackDownload
        objectName: "stackDownload"
        x: 50
        width: parent.width - 100
        // As high as the page: each view centres itself in it.
        height: parent.height

        ViewColumn {
            spacing: 60

            Illustration {
                source: "assets/transfer_notification.png"
            }
            ColumnLayout {
                Layout.fillWidth: true
                spacing: 10

                Text {
                    objectName: "downloadSizeText"
                    Layout.fillWidth: true
                    horizontalAlignment: Text.AlignHCenter
                    text: mainWindow.formatSize(root.fileSize)
                    font.pointSize: 20
                    font.weight: Font.ExtraLight
                }
                Text {
                    objectName: "downloadSenderTrust"
                    Layout.fillWidth: true
                    horizontalAlignment: Text.AlignHCenter
                    wrapMode: Text.WordWrap
                    text: root.senderTrust
                    font.pointSize: 11
                    color: colorMap.grey2
                }
            }
            RowLayout {
                Layout.fillWidth: true
                spacing: 10

                Button {
                    objectName: "btnReject"
                    Layout.fillWidth: true
                    Layout.preferredWidth: 1
                    Layout.preferredHeight: 60
                    text: qsTr("Reject")
                    Material.background: colorMap.red
                    Material.foreground: "#fff"
                    onClicked: root.reject()
                }
                Button {
                    objectName: "btnAccept"
                    Layout.fillWidth: true
                    Layout.preferredWidth: 1
                    Layout.preferredHeight: 60
                    highlighted: true
                    text: qsTr("Accept")
                    onClicked: stackDownload.currentIndex = 1
                }
            }
        }

        ViewColumn {
            spacing: 60

            Illustration {
                source: "assets/save_file.png"
            }
            ColumnLayout {
                Layout.fillWidth: true
                spacing: 20

                Text {
                    Layout.fillWidth: true
                    horizontalAlignment: Text.AlignHCenter
                    text: qsTr("Extract files to folder:")
                    font.pointSize: 12
                }
                Text {
                    objectName: "extractPathText"
                    Layout.fillWidth: true
                    horizontalAlignment: Text.AlignHCenter
                    text: root.extractPath
                    font.pointSize: 11
                    elide: Text.ElideLeft
                    color: colorMap.grey2
                }
                Button {
                    objectName: "btnChangeFolder"
                    Layout.alignment: Qt.AlignHCenter
                    leftPadding: 20
                    rightPadding: 20
                    highlighted: true
                    text: qsTr("Change")
                    onClicked: {
                        // A cancelled dialog keeps the folder chosen before.
                        var dir = cmDownload.openDirDialog(root.extractPath)
                        if (dir !== "")
                            root.extractPath = dir
                    }
                }
            }
            Button {
                objectName: "btnSaveDownload"
                Layout.alignment: Qt.AlignHCenter
                Layout.preferredWidth: 200
                Layout.preferredHeight: 60
                enabled: cmDownload.isDirWritable(root.extractPath)
                text: qsTr("Save")
                onClicked: downloadStart()
            }
        }

        ViewColumn {
            spacing: 60

            Illustration {
                id: progressImage
                source: "assets/downloading_from_server.png"
            }
            Text {
                id: progressText
                objectName: "downloadProgressText"
                Layout.fillWidth: true
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.WordWrap
                font.pointSize: 20
                font.weight: Font.ExtraLight
            }
            ColumnLayout {
                Layout.fillWidth: true
                spacing: 5

                Text {
                    id: pbText
                    objectName: "downloadProgressInfo"
                    Layout.fillWidth: true
                    elide: Text.ElideLeft
                    color: colorMap.grey2
                }
                ProgressBar {
                    id: pbProgress
                    Layout.fillWidth: true
                }
            }
            Button {
                objectName: "btnCancelDownload"
                Layout.alignment: Qt.AlignHCenter
                Layout.preferredWidth: 200
                Layout.preferredHeight: 60
                text: qsTr("Cancel")
                onClicked: cmDownload.cancel()
            }
        }

        ViewColumn {
            spacing: 25

            Illustration {
                source: "assets/success.png"
            }
            Text {
                Layout.fillWidth: true
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.WordWrap
                text: qsTr("Data successfully saved on your computer")
                font.pointSize: 14
                font.weight: Font.ExtraLight
            }
            Text {
                objectName: "downloadSignatureText"
                Layout.fillWidth: true
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.WordWrap
                text: cmDownload.signature
                font.pointSize: 12
                color: colorMap.grey2
            }
            // The files, those that did not simply arrive under their own names first.
            ColumnLayout {
                Layout.fillWidth: true
                spacing: 5

                Text {
                    objectName: "arrivedCountText"
                    Layout.fillWidth: true
                    text: {
                        var count = qsTr("%n file(s) saved", "", root.writtenCount)
                        var skipped = root.arrivedFiles.length - root.writtenCount
                        return skipped > 0 ? count + ", " + qsTr("%n not saved", "", skipped) : count
                    }
                    font.pointSize: 11
                    color: colorMap.grey2
                }
                ListView {
                    id: lvArrived
                    objectName: "lvArrived"
                    Layout.fillWidth: true
                    Layout.preferredHeight: Math.min(contentHeight, 180)
                    clip: true
                    spacing: 6
                    // The first ones; the count above tells how many there are.
                    model: root.arrivedFiles.slice(0, root.listedFiles)
                    ScrollBar.vertical: ScrollBar {}

                    delegate: ColumnLayout {
                        objectName: "arrivedFile_" + index
                        width: lvArrived.width
                        spacing: 0

                        RowLayout {
                            Layout.fillWidth: true
                            spacing: 10

                            Text {
                                objectName: "arrivedName_" + index
                                Layout.fillWidth: true
                                text: modelData.name
                                elide: Text.ElideMiddle
                                font.pointSize: 11
                            }
                            Text {
                                text: mainWindow.formatSize(modelData.size)
                                font.pointSize: 11
                                color: colorMap.grey2
                            }
                        }
                        Text {
                            Layout.fillWidth: true
                            visible: modelData.note !== ""
                            text: modelData.note
                            elide: Text.ElideRight
                            font.pointSize: 9
                            color: colorMap.orange
                        }
                    }
                }
                Text {
                    objectName: "arrivedMoreText"
                    visible: root.arrivedFiles.length > root.listedFiles
                    text: qsTr("and %n more", "", root.arrivedFiles.length - root.listedFiles)
                    font.pointSize: 11
                    color: colorMap.grey2
                }
            }
            RowLayout {
                Layout.fillWidth: true
                spacing: 10

                Button {
                    objectName: "btnOpenFolder"
                    Layout.fillWidth: true
                    Layout.preferredWidth: 1
                    Layout.preferredHeight: 60
                    enabled: root.writtenCount > 0
                    text: qsTr("Open files directory")
                    onClicked: cmDownload.openExtractFolder()
                }
                Button {
                    objectName: "btnDownloadDone"
                    Layout.fillWidth: true
                    Layout.preferredWidth: 1
                    Layout.preferredHeight: 60
                    highlighted: true
                    text: qsTr("Done")
                    onClicked: mainStack.currentIndex = 1
                }
            }
        }

        ViewColumn {
            Illustration {
                source: "assets/error.png"
            }
            Text {
                id: errorText
                objectName: "downloadErrorText"
                Layout.fillWidth: true
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.WordWrap
                color: "red"
                font.pointSize: 16
                font.weight: Font.ExtraLight
            }
            RowLayout {
                Layout.fillWidth: true
                spacing: 10

                Button {
                    objectName: "btnDownloadRetry"
                    Layout.fillWidth: true
                    Layout.preferredWidth: 1
                    Layout.preferredHeight: 60
                    text: qsTr("Retry")
                    onClicked: root.rejected ? root.reject() : downloadStart()
                }
                Button {
                    objectName: "btnDownloadClose"
                    Layout.fillWidth: true
                    Layout.preferredWidth: 1
                    Layout.preferredHeight: 60
                    text: qsTr("Close")
                    onClicked: mainStack.currentIndex = 1
                }
            }
        }
    }
}
