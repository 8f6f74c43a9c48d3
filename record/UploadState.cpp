#include "record/UploadState.h"

UploadState &UploadState::process()
{
    static UploadState state;
    return state;
}
