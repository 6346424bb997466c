#include "download/task_param.h"

namespace zelbrin {

TaskParam defaultTaskParam() { return TaskParam{}; }

}  // namespace zelbrin
