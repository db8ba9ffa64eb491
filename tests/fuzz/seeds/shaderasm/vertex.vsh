vs.1.1
dcl_position0 v0
m4x4 oPos, v0, c0
mov oD0, c[a0.x + 4].yzwx
