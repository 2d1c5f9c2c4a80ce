// The names under which the sound library exports its seven functions: the decorated
// names the game looks up. Every ELF linker reads '@' in a symbol name as a version
// marker, so the objects carry these names with '$' in place of '@', and the build
// puts the '@' back into the finished library (export_names.cpp).
#pragma once

#define EZDS_NAME_DSINIT "?DSinit$$YAHPAUHWND__$$$Z"
#define EZDS_NAME_DSEND "?DSend$$YAXXZ"
#define EZDS_NAME_DSLOAD "?DSload$$YAHPADD$Z"
#define EZDS_NAME_DSLOADL "?DSloadL$$YAHPAD$Z"
#define EZDS_NAME_DSPLAY "?DSplay$$YAXDD$Z"
#define EZDS_NAME_DSLOOPOPE "?DSloopOPE$$YAXDD$Z"
#define EZDS_NAME_DSVER "?DSver$$YAPADXZ"

#define EZDS_EXPORT_COUNT 7
#define EZDS_EXPORT_PLACEHOLDERS                                                                   \
  { EZDS_NAME_DSINIT, EZDS_NAME_DSEND, EZDS_NAME_DSLOAD, EZDS_NAME_DSLOADL, EZDS_NAME_DSPLAY,     \
    EZDS_NAME_DSLOOPOPE, EZDS_NAME_DSVER }
