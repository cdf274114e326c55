#include "app/CommandDispatcher.h"

#include "document/DaoException.h"
#include "engine/Prompter.h"

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
