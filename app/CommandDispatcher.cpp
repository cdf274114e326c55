#include "app/CommandDispatcher.h"

#include "engine/Prompter.h"
#include "sources/access/DaoException.h"

bool RunCommand(const std::function<void()> &command)
{
    try {
        command();
        return true;
    } catch (const CDaoException &error) {
        ShowMessage(error.Description(), CPrompter::EIcon::Stop);
        return false;
    }
}
