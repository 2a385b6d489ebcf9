// PENDING: replaced by the PostgreSQL kind.
#pragma once
#include "board/database.h"
namespace obrix::board {
void CreatePostgresSchema(Database& db);
}
