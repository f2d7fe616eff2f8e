import QtQuick 2.9
import QtQuick.Controls 2.2
import QtQuick.Layouts 1.3
import QtQuick.Controls.Material 2.2
import "Controls"

Page {
    id: root
    objectName: "pageEditContact"

    property string keyId
    property int keyIndex
    // The model's answers are this page's only while it saves.
    property bool saving: false
    // The pinned key as the model describes it: fingerprint, safetyNumber, verified, trust.
    property var key: ({})

    function setContactName(name) {
        textError.visible = false
        contactName.text = name
        contactName.forceActiveFocus()
        key = pubKeysModel.keyDetails(keyId)
    }

    visible: false
    title: qsTr("Edit contact")

    Connections {
        target: pubKeysModel
        enabled: root.saving
        function onKeyTitleSet(keyId) {
            saving = false
            mainStackView.pop()
        }
        function onError(text) {
            saving = false
            textError.visible = true
        }
    }

    background: Rectangle {
        color: Material.primary
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 15

        Text {
            text: qsTr("Contact name")
            font.pointSize: 12
        }
        TextField {
            id: contactName
            objectName: "editContactName"
            Layout.fillWidth: true
            leftPadding: 10
            selectByMouse: true
            onAccepted: btnSaveTitle.clicked()
            background: Rectangle {
                anchors.fill: parent
                anchors.bottomMargin: 8
                radius: 5
                color: root.Material.background
            }
        }
        Text {
            id: textError
            objectName: "editContactError"
            Layout.alignment: Qt.AlignHCenter
            visible: false
            text: qsTr("Error while saving contact")
            color: "red"
        }

        ColumnLayout {
            Layout.fillWidth: true
            Layout.topMargin: 10
            spacing: 6
            visible: root.key.fingerprint !== ""

            Text {
                text: qsTr("Fingerprint")
                font.pointSize: 12
            }
            TextEdit {
                objectName: "contactFingerprint"
                Layout.fillWidth: true
                readOnly: true
                selectByMouse: true
                wrapMode: TextEdit.WordWrap
                text: root.key.fingerprint || ""
                font.family: "monospace"
                font.pointSize: 11
                color: colorMap.grey1
                selectionColor: Material.accent
            }
            Text {
                Layout.topMargin: 8
                text: qsTr("Safety number")
                font.pointSize: 12
            }
            Text {
                Layout.fillWidth: true
                wrapMode: Text.WordWrap
                text: qsTr("Compare it with %1 in person or on the phone: they see the same digits for you.").arg(contactName.text !== "" ? contactName.text : root.keyId)
                font.pointSize: 10
                color: colorMap.grey2
            }
            TextEdit {
                objectName: "contactSafetyNumber"
                Layout.fillWidth: true
                readOnly: true
                selectByMouse: true
                wrapMode: TextEdit.WordWrap
                text: root.key.safetyNumber || ""
                font.family: "monospace"
                font.pointSize: 14
                color: colorMap.grey1
                selectionColor: Material.accent
            }
            RowLayout {
                Layout.fillWidth: true
                Layout.topMargin: 8
                spacing: 8

                Image {
                    source: root.key.verified ? "assets/verified_icon.svg" : "assets/unverified_icon.svg"
                }
                Text {
                    objectName: "contactTrustText"
                    Layout.fillWidth: true
                    wrapMode: Text.WordWrap
                    text: root.key.trust || ""
                    font.pointSize: 11
                    color: root.key.verified ? colorMap.green : colorMap.grey2
                }
            }
            Button {
                objectName: "btnMarkVerified"
                Layout.alignment: Qt.AlignHCenter
                leftPadding: 20
                rightPadding: 20
                highlighted: !root.key.verified
                text: root.key.verified ? qsTr("Mark as not verified") : qsTr("Mark as verified")
                onClicked: {
                    pubKeysModel.setVerified(root.keyId, !root.key.verified)
                    root.key = pubKeysModel.keyDetails(root.keyId)
                }
            }
        }
        Item {
            Layout.fillHeight: true
        }
    }

    Row {
        anchors.bottom: parent.bottom
        anchors.bottomMargin: 20
        anchors.horizontalCenter: parent.horizontalCenter
        width: parent.width - 50
        spacing: 10

        Button {
            objectName: "btnDeleteContact"
            width: parent.width / 2 - 5
            height: 60
            text: qsTr("Delete")
            Material.background: colorMap.red
            Material.foreground: "#fff"
            onClicked: dlgRemoveContact.open()
        }
        Button {
            id: btnSaveTitle
            objectName: "btnSaveTitle"
            width: parent.width / 2 - 5
            height: 60
            text: qsTr("Save")
            enabled: !root.saving
            onClicked: {
                textError.visible = false
                saving = true
                pubKeysModel.setKeyTitle(keyId, contactName.text)
            }
        }
    }

    Dialog {
        id: dlgRemoveContact
        objectName: "dlgRemoveContact"
        modal: true
        width: root.width
        height: 200
        y: root.height / 2 - 100
        padding: 20

        contentItem: ColumnLayout {
            spacing: 20

            Text {
                Layout.fillWidth: true
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.WordWrap
                text: qsTr("Are you really want to delete this contact ?")
                font.pointSize: 14
                font.weight: Font.ExtraLight
            }
            RowLayout {
                Layout.fillWidth: true
                spacing: 10

                Button {
                    objectName: "btnConfirmDelete"
                    Layout.fillWidth: true
                    text: qsTr("Delete")
                    Material.background: colorMap.red
                    Material.foreground: "#fff"
                    onClicked: {
                        if (pubKeysModel.deletePubKey(keyIndex)) {
                            dlgRemoveContact.close()
                            mainStackView.pop()
                        }
                    }
                }
                Button {
                    objectName: "btnCancelDelete"
                    Layout.fillWidth: true
                    text: qsTr("Cancel")
                    onClicked: dlgRemoveContact.close()
                }
            }
        }
    }
}
