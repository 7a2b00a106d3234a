/*
 * Corvane text conversion and string utilities.
 */
#ifndef CORVANE_TEXT_H
#define CORVANE_TEXT_H

#include "corvane/base.h"

CORVANE_BEGIN_DECLS

CORVANE_END_DECLS

#endif /* CORVANE_TEXT_H */
