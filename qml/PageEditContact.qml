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

    function setContactName(name) {
        textError.visible = false
        contactName.text = name
        contactName.forceActiveFocus()
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
