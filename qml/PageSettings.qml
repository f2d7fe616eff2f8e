import QtQuick 2.0
import QtQuick.Controls 2.2
import QtQuick.Layouts 1.3
import Qt.labs.settings 1.0
import QtQuick.Controls.Material 2.2
import QtGraphicalEffects 1.0
import "Controls"

Page {
    id: root
    objectName: "pageSettings"

    property var locales: appSettings.locales()
    property string currentLocale
    readonly property var currentLocaleInfo: locales[currentLocale] || ({
            "title": currentLocale,
            "nativeTitle": currentLocale,
            "icon": ""
        })

    visible: false
    title: qsTr("Settings")

    background: Rectangle {
        color: Material.primary
    }

    Settings {
        id: settings
        property alias locale: root.currentLocale
        property alias autorun: cbAutoStart.checked
        property alias launchMinimized: cbLaunchMinimized.checked
        property alias feedbackName: contactName.text
        property alias feedbackEmail: contactEmail.text
    }

    // A flag image cut to a circle.
    component RoundFlag: Item {
        property alias source: flagImage.source
        property bool pressed: false

        width: 33
        height: 33
        opacity: pressed ? 0.85 : 1

        Image {
            id: flagImage
            anchors.fill: parent
            sourceSize.width: 66
            sourceSize.height: 66
            fillMode: Image.PreserveAspectCrop
            visible: false
        }
        Rectangle {
            id: flagMask
            anchors.fill: parent
            radius: 33
            visible: false
        }
        OpacityMask {
            anchors.fill: parent
            source: flagImage
            maskSource: flagMask
        }
    }

    // The feedback of a button as wide as its list row: the style's own is drawn for small buttons.
    component RowHighlight: Rectangle {
        property Item button

        color: !button ? "transparent" : button.down ? colorMap.grey4 : button.hovered ? colorMap.grey5 : "transparent"
    }

    // A row of the main list that leads to a sub page.
    component LinkButton: ToolButton {
        property alias iconSource: linkIcon.source

        Layout.fillWidth: true
        Layout.preferredHeight: 60
        leftPadding: 47
        background: Rectangle {
            color: root.Material.background
        }
        contentItem: Text {
            text: parent.text
            elide: Text.ElideRight
            verticalAlignment: Text.AlignVCenter
            font.pointSize: 12
            font.capitalization: Font.MixedCase
            opacity: enabled ? 1 : 0.3
        }

        Image {
            id: linkIcon
            x: 15
            anchors.verticalCenter: parent.verticalCenter
        }
    }

    // The check boxes of the main list.
    component OptionBox: CheckBox {
        Layout.fillWidth: true
        Layout.preferredHeight: 60
        leftPadding: 15
        spacing: 15
        font.pointSize: 12
        font.family: "Geometria"
        background: Rectangle {
            color: root.Material.background
        }
    }

    ColumnLayout {
        y: 5
        width: parent.width
        spacing: 2

        Rectangle {
            Layout.fillWidth: true
            Layout.preferredHeight: 60
            color: Material.background

            ToolButton {
                id: btnLocale
                objectName: "btnLocale"
                anchors.fill: parent
                background: RowHighlight {
                    button: btnLocale
                }
                onClicked: mainStackView.push(pageLocales)
            }
            Text {
                x: 15
                anchors.verticalCenter: parent.verticalCenter
                text: qsTr("Language")
                font.pointSize: 12
            }
            Row {
                anchors.right: parent.right
                anchors.rightMargin: 20
                anchors.verticalCenter: parent.verticalCenter
                spacing: 10

                Text {
                    objectName: "currentLocaleTitle"
                    anchors.verticalCenter: parent.verticalCenter
                    text: root.currentLocaleInfo.title
                    font.pointSize: 12
                }
                RoundFlag {
                    anchors.verticalCenter: parent.verticalCenter
                    source: root.currentLocaleInfo.icon
                    pressed: btnLocale.pressed
                }
                Image {
                    anchors.verticalCenter: parent.verticalCenter
                    source: "assets/forward.svg"
                }
            }
        }

        OptionBox {
            id: cbAutoStart
            objectName: "cbAutoStart"
            text: qsTr("Auto start on system boot")
            onCheckedChanged: appSettings.setAutorun(checked)
        }
        OptionBox {
            id: cbLaunchMinimized
            objectName: "cbLaunchMinimized"
            text: qsTr("Launch minimized")
        }
        // What a received file does when its name is taken in the folder.
        Rectangle {
            Layout.fillWidth: true
            Layout.preferredHeight: existingFilesColumn.implicitHeight
            color: Material.background

            ColumnLayout {
                id: existingFilesColumn
                width: parent.width
                spacing: 0

                Text {
                    Layout.leftMargin: 15
                    Layout.topMargin: 12
                    text: qsTr("When a received file's name is taken")
                    font.pointSize: 12
                }
                Repeater {
                    model: [{
                            "policy": "keepBoth",
                            "text": qsTr("Keep both, the new file under a free name")
                        }, {
                            "policy": "overwrite",
                            "text": qsTr("Replace the file that is there")
                        }, {
                            "policy": "keep",
                            "text": qsTr("Keep the file that is there, skip the new one")
                        }]

                    RadioButton {
                        objectName: "existingFiles_" + modelData.policy
                        Layout.fillWidth: true
                        Layout.preferredHeight: 44
                        leftPadding: 15
                        spacing: 15
                        font.pointSize: 11
                        font.family: "Geometria"
                        text: modelData.text
                        checked: appSettings.existingFiles === modelData.policy
                        onToggled: appSettings.existingFiles = modelData.policy
                    }
                }
            }
        }
        LinkButton {
            objectName: "btnAbout"
            text: qsTr("About application")
            iconSource: "assets/about_application_icon.svg"
            onClicked: mainStackView.push(pageAbout)
        }
        LinkButton {
            objectName: "btnContactUs"
            text: qsTr("Contact us")
            iconSource: "assets/contact_icon.svg"
            onClicked: mainStackView.push(pageContact)
        }
    }

    Page {
        id: pageLocales
        objectName: "pageLocales"
        visible: false
        title: qsTr("Language select")

        background: Rectangle {
            color: Material.primary
        }

        ListView {
            anchors.fill: parent
            anchors.topMargin: 5
            spacing: 2
            clip: true
            model: Object.keys(root.locales)

            delegate: Rectangle {
                width: ListView.view.width
                height: 60
                color: root.Material.background

                ToolButton {
                    id: localeButton
                    objectName: "localeRow_" + modelData
                    anchors.fill: parent
                    background: RowHighlight {
                        button: localeButton
                    }
                    onClicked: {
                        root.currentLocale = modelData
                        settings.setValue("locale", modelData)
                        appSettings.setLocale(root.currentLocale)
                        engine.retranslate()
                        mainStackView.pop()
                    }
                }
                RowLayout {
                    anchors.fill: parent
                    anchors.leftMargin: 15
                    anchors.rightMargin: 20
                    spacing: 15

                    RoundFlag {
                        source: root.locales[modelData].icon
                        pressed: localeButton.pressed
                    }
                    Text {
                        Layout.fillWidth: true
                        text: root.locales[modelData].title + " (" + root.locales[modelData].nativeTitle + ")"
                        font.pointSize: 12
                        elide: Text.ElideRight
                    }
                    Image {
                        source: "assets/checked_icon.svg"
                        visible: modelData === root.currentLocale
                    }
                }
            }
        }
    }

    Page {
        id: pageAbout
        objectName: "pageAbout"
        visible: false
        title: qsTr("About application")

        ColumnLayout {
            x: 30
            width: parent.width - 60
            anchors.verticalCenter: parent.verticalCenter
            spacing: 80

            Column {
                Layout.alignment: Qt.AlignHCenter
                spacing: 10

                Image {
                    anchors.horizontalCenter: parent.horizontalCenter
                    source: "assets/logo_big.svg"
                }
                Text {
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: qsTr("version") + " " + appVersion
                    font.pointSize: 18
                    color: colorMap.grey2
                }
            }
            Text {
                Layout.fillWidth: true
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.WordWrap
                lineHeight: 1.5
                font.pointSize: 13
                font.weight: Font.ExtraLight
                color: colorMap.grey2
                text: qsTr("Developers") + "\n" + qsTr("The Tessary team: C++, Qt, QML") + "\n" + qsTr("Design: the Tessary team")
            }
        }
    }

    Page {
        id: pageContact
        objectName: "pageContact"
        visible: false
        title: qsTr("Contact us")

        function focusFirstMissing() {
            if (contactName.text === "")
                contactName.forceActiveFocus()
            else if (!contactEmail.acceptableInput)
                contactEmail.forceActiveFocus()
            else
                messageText.forceActiveFocus()
        }

        onVisibleChanged: {
            if (visible)
                focusFirstMissing()
        }

        background: Rectangle {
            color: Material.primary
        }

        ColumnLayout {
            anchors.fill: parent
            anchors.margins: 15
            spacing: 10

            Text {
                text: qsTr("Contact name")
                font.pointSize: 12
            }
            TextField {
                id: contactName
                objectName: "feedbackName"
                Layout.fillWidth: true
                leftPadding: 10
                selectByMouse: true
                onAccepted: contactEmail.forceActiveFocus()
                background: Rectangle {
                    anchors.fill: parent
                    anchors.bottomMargin: 8
                    radius: 5
                    color: root.Material.background
                }
            }
            Text {
                text: qsTr("Email")
                font.pointSize: 12
            }
            TextField {
                id: contactEmail
                objectName: "feedbackEmail"
                Layout.fillWidth: true
                leftPadding: 10
                selectByMouse: true
                inputMethodHints: Qt.ImhEmailCharactersOnly
                validator: RegExpValidator {
                    regExp: /.+@.+\.[a-z]{2,}/
                }
                onAccepted: messageText.forceActiveFocus()
                background: Rectangle {
                    anchors.fill: parent
                    anchors.bottomMargin: 8
                    radius: 5
                    color: root.Material.background
                }
            }
            Text {
                text: qsTr("Message text")
                font.pointSize: 12
            }
            TextArea {
                id: messageText
                objectName: "feedbackMessage"
                Layout.fillWidth: true
                Layout.fillHeight: true
                leftPadding: 10
                selectByMouse: true
                wrapMode: TextEdit.Wrap
                background: Rectangle {
                    anchors.fill: parent
                    anchors.bottomMargin: 8
                    radius: 5
                    color: root.Material.background
                }
            }
            Item {
                Layout.fillWidth: true
                Layout.preferredHeight: 100

                Button {
                    id: contactSend
                    objectName: "btnSendFeedback"
                    anchors.centerIn: parent
                    width: 200
                    height: 60
                    highlighted: true
                    enabled: !sending && contactName.text !== "" && contactEmail.acceptableInput && messageText.text !== ""
                    text: qsTr("Send")
                    property bool sending: false
                    onClicked: {
                        sending = true
                        appSettings.sendFeedback(contactName.text, contactEmail.text, messageText.text)
                    }

                    Connections {
                        target: appSettings
                        function onFeedbackSent(ok) {
                            contactSend.sending = false
                            if (ok) {
                                feedbackResult.text = qsTr("Message successfully sended")
                                feedbackResult.color = colorMap.grey1
                                messageText.text = ""
                            } else {
                                feedbackResult.text = qsTr("There is an error while sending message")
                                feedbackResult.color = colorMap.red
                            }
                            dlgFeedbackResult.open()
                        }
                    }
                }
            }
        }

        Dialog {
            id: dlgFeedbackResult
            objectName: "dlgFeedbackResult"
            modal: true
            width: pageContact.width
            height: 200
            y: pageContact.height / 2 - 100
            padding: 20

            contentItem: ColumnLayout {
                spacing: 20

                Text {
                    id: feedbackResult
                    objectName: "feedbackResultText"
                    Layout.fillWidth: true
                    horizontalAlignment: Text.AlignHCenter
                    wrapMode: Text.WordWrap
                    font.pointSize: 14
                    font.weight: Font.ExtraLight
                }
                Button {
                    objectName: "btnCloseFeedbackResult"
                    Layout.fillWidth: true
                    text: qsTr("Close")
                    onClicked: dlgFeedbackResult.close()
                }
            }
        }
    }

    Component.onCompleted: {
        if (locales[currentLocale] === undefined && locales["en_GB"] !== undefined)
            currentLocale = "en_GB"
    }
}
