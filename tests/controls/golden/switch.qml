OrvixSwitch {
id: swth352321539
objectName: "swth352321539"
objID: 352321539
rootObjID: 16777216
controlName: "Pump"
x: 40
y: 60
z: 500
width: 80
height: 30

}

