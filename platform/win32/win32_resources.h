// Resource identifiers shared by the resource script and the code that loads them.
#pragma once

#define TB_IDI_APP 1
#define TB_IDI_ABOUT 2
#define TB_IDC_HAND 3
#define TB_IDB_DONATE 4
// Frames 1 to 6 as complete BMP images, numbered on from this one.
#define TB_IDR_FRAME1 101
