/*
 * Corvane serial ports and sockets.
 */
#ifndef CORVANE_COMM_H
#define CORVANE_COMM_H

#include "corvane/base.h"

CORVANE_BEGIN_DECLS

CORVANE_END_DECLS

#endif /* CORVANE_COMM_H */
