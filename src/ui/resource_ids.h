#pragma once
// Resource identifiers shared by the resource script and the window. Plain macros, since
// the resource compiler reads this file too.
#define MJR_IDI_FORM1 1        /* the program's only icon: window and tray */
#define MJR_IDB_IMAGE1 101     /* reset button */
#define MJR_IDB_IMAGE2 102     /* minimise button */
#define MJR_IDR_IMAGE3 103     /* hand-over icon, kept as data so the file has one icon */
#define MJR_IDR_PICOK 104      /* all-well GIF */
#define MJR_IDR_PICTBAD 105    /* trouble GIF */
