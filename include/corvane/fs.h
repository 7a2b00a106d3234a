/*
 * Corvane files, folders and the directory tree walk.
 */
#ifndef CORVANE_FS_H
#define CORVANE_FS_H

#include "corvane/base.h"

CORVANE_BEGIN_DECLS

CORVANE_END_DECLS

#endif /* CORVANE_FS_H */
