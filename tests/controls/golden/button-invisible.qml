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
visible: false

}

