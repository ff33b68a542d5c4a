// Counting the GDI objects of this process where Wine keeps them.
#ifndef TARVEL_TEST_GDI_OBJECTS_H
#define TARVEL_TEST_GDI_OBJECTS_H

// The GDI objects this process holds, counted in its GDI handle table; -1 when there is none.
// GetGuiResources is a stub in Wine that always answers 0: a check built on it cannot fail.
int ProcessGdiObjects();

#endif
