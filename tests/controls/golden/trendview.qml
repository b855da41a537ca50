OrvixTrendView {
id: trdv469762049
objectName: "trdv469762049"
objID: 469762049
rootObjID: 16777216
controlName: "Trend1"
x: 0
y: 0
z: 500
width: 1024
height: 600

}

