/*
 * Corvane: the whole public interface.
 *
 * value.h   variant records, bstrunits, byte-string handles, safe arrays and
 *           the variant wrapper with its read/write interfaces
 * sync.h    clock, mutexes, events, conditions, semaphores, threads, atomics
 * fs.h      runtime-library file calls, files, folders and the tree walk
 * system.h  processes, environment, dynamic libraries, shared memory
 * comm.h    serial ports and sockets
 * text.h    UTF-8 / local code page conversion and string utilities
 */
#ifndef CORVANE_H
#define CORVANE_H

#include "corvane/base.h"
#include "corvane/value.h"
#include "corvane/sync.h"
#include "corvane/fs.h"
#include "corvane/system.h"
#include "corvane/comm.h"
#include "corvane/text.h"

#endif /* CORVANE_H */
