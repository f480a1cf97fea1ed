#ifndef MULTITASK_MULTITASK_H
#define MULTITASK_MULTITASK_H

// The whole task and message framework.
#include "MultiTask/Wrappers.h"
#include "MultiTask/Mutex.h"
#include "MultiTask/Semaphore.h"
#include "MultiTask/Msg.h"
#include "MultiTask/MsgQue.h"
#include "MultiTask/Task.h"
#include "MultiTask/TaskQue.h"
#include "MultiTask/Thread.h"
#include "MultiTask/MessageQ.h"

#endif
