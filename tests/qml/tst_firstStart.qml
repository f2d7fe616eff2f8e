import QtQuick 2.9
import QtTest 1.2
import "qrc:/"

// The first-start page's views against a stand-in for the own-keys model, so that generation,
// upload failures and Retry can be played in any order.
Item {
    id: scene
    width: 450
    height: 600

    // What the page reaches in the window by name.
    readonly property var colorMap: ({"grey1": "#353e48", "grey2": "#6a7980", "grey4": "#d7dedf"})

    QtObject {
        id: mainWindow
        property string privKeyID
        property real x
        property real y
    }
    QtObject {
        id: mainStack
        property int currentIndex: 0
    }
    QtObject {
        id: trayIcon
        property bool shown: false
        function show() {
            shown = true
        }
    }
    QtObject {
        id: privKeysModel
        signal genKeyPairCompleted
        signal keyRegistered(string keyId)
        signal error(string text)

        property int starts: 0

        function genKeyPair() {
            starts++
        }
    }

    PageGenKeyPair {
        id: page
        anchors.fill: parent
    }

    TestCase {
        name: "FirstStart"
        when: windowShown

        function view() {
            return findChild(page, "stackGenKeys").currentIndex
        }
        function click(name) {
            var button = findChild(page, name)
            verify(button.visible, name + " is visible")
            mouseClick(button)
        }

        function init() {
            findChild(page, "stackGenKeys").currentIndex = 0
            privKeysModel.starts = 0
            mainStack.currentIndex = 0
            mainWindow.privKeyID = ""
            trayIcon.shown = false
        }

        function test_viewSequence() {
            compare(view(), 0)
            click("btnNext")
            compare(view(), 1)
            compare(privKeysModel.starts, 1)

            // Keys made, but the server cannot be reached: the error view offers Retry.
            privKeysModel.genKeyPairCompleted()
            compare(view(), 2)
            privKeysModel.error("Cannot get server response")
            compare(view(), 4)
            compare(findChild(page, "keyErrorText").text, "Cannot get server response\nTry again?")
            compare(mainWindow.privKeyID, "")

            // Retry starts again; the model registers the stored key.
            click("btnKeysRetry")
            compare(view(), 1)
            compare(privKeysModel.starts, 2)
            privKeysModel.keyRegistered("123456789")
            compare(view(), 3)
            compare(mainWindow.privKeyID, "123456789")
            verify(!trayIcon.shown)

            click("btnKeysDone")
            compare(mainStack.currentIndex, 1)
            verify(trayIcon.shown)
        }

        function test_generationFailure() {
            click("btnNext")
            privKeysModel.error("Cannot start gpg")
            compare(view(), 4)
            compare(findChild(page, "keyErrorText").text, "Cannot start gpg\nTry again?")
        }
    }
}
