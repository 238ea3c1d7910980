// morva: without arguments the hardware profile service, with arguments its
// installer.
#include "morva/installer.h"
#include "morva/service_role.h"

int main(int argc, char**) {
  if (argc <= 1) return morva_service_role();
  return morva_installer_main();
}
