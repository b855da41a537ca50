import QtQuick
import QtQuick.Controls
import Qt.labs.qmlmodels
import VantorelV5
import "qrc:/"

OrvixPopupScreen {
id: pops1191182338
objectName: "pops1191182338"
objID: 1191182338
rootObjID: 1191182338
controlName: "Settings"
x: 100
y: 80
z: 500
width: 400
height: 300
popupX: 100
popupY: 80
popupWidth: 400
popupHeight: 300
titleVisible: false
borderColor: "#ff808080"
borderWidth: 0
borderRadius: 4
popupBgColor: "#ffffffff"

contentItem: MouseArea {

readonly property var objID: 1191182338
property bool beepDisable: true
property alias offsetItem: controlPosOffsetItem
Item {

id: controlPosOffsetItem
x: 0
y: 0
width: 400
height: 300
readonly property var objID: -1

OrvixButton {
id: bttn486539269
objectName: "bttn486539269"
objID: 486539269
rootObjID: 1191182338
controlName: "OK"
x: 150
y: 200
z: 500
width: 100
height: 40

}


}

onReleased: pops1191182338.focusToDialog(1)

}


}

