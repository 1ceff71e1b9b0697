#include "core/cyclic_list.h"

namespace Containers {

void CyclicList::AddToTail(CyclicList* node) {
    InternalDel(node->prev, node->next);
    InternalAdd(node, prev, this);
}

}  // namespace Containers
