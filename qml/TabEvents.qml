import QtQuick 2.9
import QtQuick.Controls 2.2
import QtQuick.Layouts 1.3
import QtQuick.Controls.Material 2.2
import Qt.labs.settings 1.0
import org.tesry 1.0
import "Controls"

Item {
    id: tabEvents
    objectName: "tabEvents"

    readonly property var statusMap: ({
            "0": {
                "title": qsTr("Received"),
                "color": colorMap.blue,
                "icon": "assets/received_icon.svg"
            },
            "1": {
                "title": qsTr("Rejected"),
                "color": colorMap.red,
                "icon": "assets/denied_icon.svg"
            },
            "2": {
                "title": qsTr("Wait deliver"),
                "color": colorMap.orange,
                "icon": "assets/in_progress_icon.svg"
            },
            "3": {
                "title": qsTr("Delivered"),
                "color": colorMap.green,
                "icon": "assets/delivered_icon.svg"
            }
        })

    // The stored time is local time without a zone; it is shown as stored.
    function formatTime(datetime) {
        var parts = String(datetime).match(/^(\d{4})-(\d{2})-(\d{2})[T ](\d{2}):(\d{2})/)
        if (!parts)
            return String(datetime)
        var date = new Date(parts[1], parts[2] - 1, parts[3], parts[4], parts[5])
        return date.toLocaleString(Qt.locale(settings.locale), "yyyy-MM-dd HH:mm")
    }

    Settings {
        id: settings
        property string locale
    }

    // Continues the uploads that were begun and not finished, one at a time.
    ContainerManager {
        id: cmUploads
        prompter: dialogs

        property real resumingId: 0
        property real failedId: 0
        property real done: 0
        property real total: 0
        property string note

        function resume(uploadId) {
            failedId = 0
            note = ""
            done = 0
            resumingId = uploadId
            resumeUpload(uploadId)
        }

        onInfo: note = text
        onProgressInit: {
            total = max
            done = min
            note = text
        }
        onProgressValueChanged: done = value
        onSuccess: {
            fileEventsModel.select()
            unfinishedUploadsModel.select()
        }
        onError: {
            failedId = resumingId
            note = text
        }
        onFinished: resumingId = 0
        onUploadDropped: unfinishedUploadsModel.select()
    }

    Rectangle {
        anchors.fill: parent
        color: Material.primary
    }

    ListView {
        id: lvFileEvents
        objectName: "lvFileEvents"
        anchors.fill: parent
        model: fileEventsModel
        currentIndex: -1
        spacing: 2
        clip: true
        ScrollBar.vertical: ScrollBar {}

        header: Column {
            width: lvFileEvents.width
            spacing: 2
            bottomPadding: uploads.count > 0 ? 2 : 0

            Repeater {
                id: uploads
                model: unfinishedUploadsModel

                delegate: Rectangle {
                    id: uploadRow
                    objectName: "uploadRow_" + index
                    width: lvFileEvents.width
                    height: 70
                    color: Material.background

                    readonly property bool resuming: cmUploads.resumingId === upload_id
                    readonly property bool failed: cmUploads.failedId === upload_id

                    RowLayout {
                        x: 15
                        width: parent.width - 30
                        height: parent.height - 20
                        anchors.verticalCenter: parent.verticalCenter
                        spacing: 10

                        Column {
                            Layout.fillWidth: true

                            Text {
                                width: parent.width
                                text: {
                                    var title = pubKeysModel.contactTitle(remote_key_id)
                                    return title !== "" ? title : remote_key_id
                                }
                                font.pointSize: 13
                                elide: Text.ElideRight
                            }
                            Text {
                                objectName: "uploadStateText_" + index
                                width: parent.width
                                text: uploadRow.resuming || uploadRow.failed ? cmUploads.note : qsTr("Upload not finished")
                                font.pointSize: 11
                                color: uploadRow.failed ? colorMap.red : colorMap.orange
                                elide: Text.ElideRight
                            }
                        }
                        Button {
                            objectName: "btnResumeUpload_" + index
                            visible: !uploadRow.resuming
                            enabled: cmUploads.resumingId === 0
                            flat: true
                            text: qsTr("Resume")
                            onClicked: cmUploads.resume(upload_id)
                        }
                        Button {
                            objectName: "btnCancelUpload_" + index
                            flat: true
                            text: qsTr("Cancel")
                            onClicked: cmUploads.dropUpload(upload_id)
                        }
                        Rectangle {
                            Layout.preferredWidth: 2
                            Layout.fillHeight: true
                            color: Material.primary
                        }
                        Text {
                            Layout.preferredWidth: 100
                            horizontalAlignment: Text.AlignHCenter
                            text: mainWindow.formatSize(size)
                            font.pointSize: 13
                        }
                    }
                    ProgressBar {
                        anchors.left: parent.left
                        anchors.right: parent.right
                        anchors.bottom: parent.bottom
                        visible: uploadRow.resuming
                        from: 0
                        to: Math.max(cmUploads.total, 1)
                        value: cmUploads.done
                    }
                }
            }
        }

        delegate: Rectangle {
            id: eventRow
            objectName: "eventRow_" + index
            width: lvFileEvents.width
            height: 70
            color: ListView.isCurrentItem ? "transparent" : Material.background

            readonly property var statusInfo: tabEvents.statusMap[String(status)] || tabEvents.statusMap["2"]
            // Follows a contact's new title at once.
            readonly property string counterpart: {
                pubKeysModel.revision
                var title = pubKeysModel.contactTitle(remote_key_id)
                return title !== "" ? title : remote_key_id
            }

            MouseArea {
                anchors.fill: parent
                cursorShape: Qt.PointingHandCursor
                onClicked: pageEventFiles.show(index, status, eventRow.counterpart)
            }

            RowLayout {
                x: 15
                width: parent.width - 30
                height: parent.height - 20
                anchors.verticalCenter: parent.verticalCenter
                spacing: 10

                Column {
                    Layout.fillWidth: true

                    Text {
                        objectName: "eventCounterpart_" + index
                        width: parent.width
                        text: eventRow.counterpart
                        font.pointSize: 13
                        elide: Text.ElideRight
                    }
                    Text {
                        objectName: "eventDetailText_" + index
                        width: parent.width
                        elide: Text.ElideRight
                        text: tabEvents.formatTime(datetime) + (signature ? "  ·  " + signature : "")
                        font.pointSize: 11
                        color: colorMap.grey2
                    }
                }
                Image {
                    source: eventRow.statusInfo.icon
                }
                Text {
                    objectName: "eventStatusText_" + index
                    text: eventRow.statusInfo.title
                    font.pointSize: 11
                    color: eventRow.statusInfo.color
                }
                Rectangle {
                    Layout.preferredWidth: 2
                    Layout.fillHeight: true
                    color: Material.primary
                }
                Text {
                    Layout.preferredWidth: 100
                    horizontalAlignment: Text.AlignHCenter
                    text: mainWindow.formatSize(size)
                    font.pointSize: 13
                }
            }
        }
    }

    PageEventFiles {
        id: pageEventFiles
    }

    Timer {
        interval: 30000
        repeat: true
        running: true
        triggeredOnStart: true
        onTriggered: fileEventsModel.checkDelivered()
    }
}
