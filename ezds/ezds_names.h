// The names under which the sound library exports its seven functions. The game looks
// them up by their decorated Windows names; an ELF linker reads '@' in a symbol name as
// a version marker, so on Linux the library exports each name with '$' for every '@',
// the spelling the game's GetProcAddress asks the loader for. The Windows library
// exports the names with '@' as they stand (ezds.def).
#pragma once

#define EZDS_NAME_DSINIT "?DSinit$$YAHPAUHWND__$$$Z"
#define EZDS_NAME_DSEND "?DSend$$YAXXZ"
#define EZDS_NAME_DSLOAD "?DSload$$YAHPADD$Z"
#define EZDS_NAME_DSLOADL "?DSloadL$$YAHPAD$Z"
#define EZDS_NAME_DSPLAY "?DSplay$$YAXDD$Z"
#define EZDS_NAME_DSLOOPOPE "?DSloopOPE$$YAXDD$Z"
#define EZDS_NAME_DSVER "?DSver$$YAPADXZ"
