import QtQuick 2.9
import QtTest 1.2

// The logic the pages hold, on the real window with the real native types.
TestCase {
    id: test
    name: "Window"
    when: windowShown

    property var window: null

    function initTestCase() {
        var component = Qt.createComponent("qrc:/main.qml")
        compare(component.status, Component.Ready, component.errorString())
        window = component.createObject(null)
        verify(window !== null)
    }

    function cleanupTestCase() {
        window.destroy()
    }

    function test_mimeIcon_data() {
        return [{"tag": "double extension", "name": "archive.tar.gz", "icon": "other"},
                {"tag": "upper case", "name": "photo.JPG", "icon": "other"},
                {"tag": "picture", "name": "photo.jpg", "icon": "pic"},
                {"tag": "in a folder", "name": "Urlaub/clip.final.mkv", "icon": "video"},
                {"tag": "audio", "name": "song.flac", "icon": "audio"},
                {"tag": "document", "name": "report.docx", "icon": "doc"},
                {"tag": "no dot: the whole name", "name": "txt", "icon": "doc"},
                {"tag": "dot in a folder only", "name": "v1.2/README", "icon": "other"},
                {"tag": "trailing dot", "name": "notes.", "icon": "other"},
                {"tag": "object member names are no extensions", "name": "x.constructor", "icon": "other"},
                {"tag": "prototype", "name": "x.__proto__", "icon": "other"}]
    }
    function test_mimeIcon(data) {
        var page = findChild(window, "pageShareFiles")
        compare(page.mimeIcon(data.name), "assets/mime/" + data.icon + ".svg")
    }

    function test_progressSizeText_data() {
        return [{"tag": "100 KB is no size", "value": 51200, "max": 102400, "text": ""},
                {"tag": "a byte above", "value": 0, "max": 102401, "text": "0 Kb / 100 Kb"},
                {"tag": "half way", "value": 524288, "max": 1258291, "text": "512 Kb / 1.2 Mb"},
                {"tag": "large", "value": 4294967296, "max": 6442450944, "text": "4,096 Mb / 6,144 Mb"}]
    }
    function test_progressSizeText(data) {
        var page = findChild(window, "pageShareFiles")
        compare(page.progressSizeText(data.value, data.max), data.text)
    }

    // The done view counts what arrived and lists the first hundred, the ones with a note first.
    function test_arrivedFiles_data() {
        return [{"tag": "a few", "written": 3, "skipped": 0, "count": "3 file(s) saved", "listed": 3, "more": ""},
                {"tag": "some skipped", "written": 1, "skipped": 2, "count": "1 file(s) saved, 2 not saved", "listed": 3, "more": ""},
                {"tag": "many", "written": 148, "skipped": 2, "count": "148 file(s) saved, 2 not saved", "listed": 100, "more": "and 50 more"}]
    }
    function test_arrivedFiles(data) {
        var files = []
        for (var i = 0; i < data.written + data.skipped; ++i)
            files.push({"name": "f" + i, "size": i, "note": i < data.skipped ? "not saved" : "", "written": i >= data.skipped})
        var page = findChild(window, "pageDownload")
        var stack = findChild(window, "mainStack")
        stack.currentIndex = 2
        findChild(page, "stackDownload").currentIndex = 3
        page.arrivedFiles = files
        compare(findChild(page, "arrivedCountText").text, data.count)
        compare(findChild(page, "lvArrived").count, data.listed)
        var more = findChild(page, "arrivedMoreText")
        compare(more.visible ? more.text : "", data.more)
        stack.currentIndex = 0
    }

    function test_emailValidator_data() {
        return [{"tag": "plain", "email": "ann@example.org", "ok": true},
                {"tag": "two-letter domain", "email": "ann@mail.de", "ok": true},
                {"tag": "sub domains", "email": "a.b@c.d.example.com", "ok": true},
                {"tag": "one-letter domain", "email": "ann@example.o", "ok": false},
                {"tag": "upper-case domain", "email": "ann@example.ORG", "ok": false},
                {"tag": "no at", "email": "ann.example.org", "ok": false},
                {"tag": "nothing before the at", "email": "@example.org", "ok": false},
                {"tag": "no dot after the at", "email": "ann@example", "ok": false},
                {"tag": "empty", "email": "", "ok": false},
                {"tag": "trailing blank", "email": "ann@example.org ", "ok": false}]
    }
    function test_emailValidator(data) {
        var field = findChild(window, "feedbackEmail")
        field.text = data.email
        compare(field.acceptableInput, data.ok)
    }

    function test_sendFeedbackNeedsEveryField_data() {
        return [{"tag": "all given", "name": "Ann", "email": "ann@example.org", "message": "Hi", "enabled": true},
                {"tag": "no name", "name": "", "email": "ann@example.org", "message": "Hi", "enabled": false},
                {"tag": "bad e-mail", "name": "Ann", "email": "ann@example", "message": "Hi", "enabled": false},
                {"tag": "no message", "name": "Ann", "email": "ann@example.org", "message": "", "enabled": false}]
    }
    function test_sendFeedbackNeedsEveryField(data) {
        findChild(window, "feedbackName").text = data.name
        findChild(window, "feedbackEmail").text = data.email
        findChild(window, "feedbackMessage").text = data.message
        compare(findChild(window, "btnSendFeedback").enabled, data.enabled)
    }

    function test_firstStartWithoutKeys() {
        // No key pair yet: the first-start page, no polling, the tray icon hidden.
        compare(findChild(window, "mainStack").currentIndex, 0)
        compare(window.privKeyID, "")
    }
}
