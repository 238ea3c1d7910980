// Threads, events, semaphores, mutexes and waits in one include.
#pragma once

#include "platform/sync/event.h"
#include "platform/sync/mutex.h"
#include "platform/sync/semaphore.h"
#include "platform/sync/thread.h"
#include "platform/sync/waitable.h"
