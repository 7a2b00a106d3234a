/*
 * Corvane processes, commands, environment, dynamic libraries and shared memory.
 */
#ifndef CORVANE_SYSTEM_H
#define CORVANE_SYSTEM_H

#include "corvane/base.h"

CORVANE_BEGIN_DECLS

CORVANE_END_DECLS

#endif /* CORVANE_SYSTEM_H */
