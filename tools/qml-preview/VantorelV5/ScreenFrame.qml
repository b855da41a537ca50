// A page, template or report page: its background (colour or gradient) at
// the screen's size; the controls draw themselves on top.
import QtQuick

Rectangle {
    property var objID
    property var rootObjID
    property string controlName
    property var fontArray
    property string typeCode
    property bool useTemplate: false
    color: "transparent"
}
