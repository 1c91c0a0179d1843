#include "app/StartModule.h"

#include "app/CommSetup.h"
#include "support/Forms.h"

namespace StartModule {

void RegisterForms()
{
    Forms::RegisterLoader(QStringLiteral("CommSetup"), [] { return CommSetup::Load(); });
}

void Main()
{
    RegisterForms();
    if (QWidget* window = Forms::Load(QStringLiteral("CommSetup")))
        window->show();
}

} // namespace StartModule
