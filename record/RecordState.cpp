#include "record/RecordState.h"

RecordState &RecordState::process()
{
    static RecordState state;
    return state;
}
