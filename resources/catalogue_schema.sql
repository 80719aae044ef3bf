-- The Vantrel IOCTL catalogue: names for IOCTL codes seen on device objects,
-- and the buffer templates that lay out their input and output buffers.
-- Integers are 32-bit signed (a code with the top bit set is stored as the
-- negative number with the same 32 bits); texts hold at most 255 characters.

CREATE TABLE "Ioctls" (
  "Ioctl"         INTEGER NOT NULL CHECK ("Ioctl" BETWEEN -2147483648 AND 2147483647),
  "Object"        TEXT NOT NULL DEFAULT '' CHECK (length("Object") <= 255),
  "Input Buffer"  TEXT NOT NULL DEFAULT 'None' CHECK (length("Input Buffer") <= 255),
  "Output Buffer" TEXT NOT NULL DEFAULT 'None' CHECK (length("Output Buffer") <= 255),
  "Ioctl Name"    TEXT NOT NULL DEFAULT '' CHECK (length("Ioctl Name") <= 255)
);

-- One row per (code, device object).
CREATE UNIQUE INDEX "Ioctls by code and object" ON "Ioctls" ("Ioctl", "Object");

CREATE TABLE "Templates" (
  "Name"       TEXT NOT NULL DEFAULT '' CHECK (length("Name") <= 255),
  "Type"       TEXT NOT NULL DEFAULT '' CHECK (length("Type") <= 255),
  "Value Name" TEXT NOT NULL DEFAULT '' CHECK (length("Value Name") <= 255),
  "Offset"     INTEGER NOT NULL DEFAULT 0 CHECK ("Offset" BETWEEN -2147483648 AND 2147483647)
);

CREATE INDEX "Templates by name" ON "Templates" ("Name", "Offset");
