import QtQuick
import QtQuick.Controls
import Qt.labs.qmlmodels
import VantorelV5
import "qrc:/"

OrvixTemplate {
id: tmpl637534208
objectName: "tmpl637534208"
objID: 637534208
rootObjID: 637534208
x: 0
y: 0
z: 500
width: 800
height: 480


}

