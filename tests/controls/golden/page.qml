import QtQuick
import QtQuick.Controls
import Qt.labs.qmlmodels
import VantorelV5
import "qrc:/"

OrvixPage {
id: page16777216
objectName: "page16777216"
objID: 16777216
rootObjID: 16777216
controlName: "Start"
x: 0
y: 0
z: 500
width: 800
height: 480
color: "#ffffffff"
gradient: Gradient {
orientation: Qt.Vertical
GradientStop {
position: 0.00000000000000000
color: "#ffffffff"
}
GradientStop {
position: 1.00000000000000000
color: "#ff000000"
}
}
useTemplate: true

OrvixButton {
id: bttn486539269
objectName: "bttn486539269"
objID: 486539269
rootObjID: 16777216
controlName: "Start \"A\""
x: 10
y: 20
z: 500
width: 120
height: 40

}


}

