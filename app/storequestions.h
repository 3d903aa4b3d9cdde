#pragma once

#include "store/plans.h"

#include <QString>

// The questions the window asks before a change of the templates: each
// names every template the change touches.
namespace storequestions {

// A stored template as a question names it: "Offer" (Subject: "Prices").
QString describe(const store::StoredLine &line);

// Before a Save replaces the templates of the editor's name.
QString save(const store::SavePlan &plan, const QString &name);
// Before a Delete.
QString remove(const store::DeletePlan &plan);
// Before an Undo that brings a template back under a name of its own, or
// without the body that was kept with it.
QString undo(const store::UndoPlan &plan);

} // namespace storequestions
