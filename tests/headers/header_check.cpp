// The C99 check, compiled as C++: the same declarations must hold in both.
#include "header_check.c"
