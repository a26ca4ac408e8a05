// The services the administrator program hands to TConfig::Load: its data access service and its
// security object.
#pragma once

#include <string>

#include "admin/data_access.h"
#include "core/config.h"
#include "core/prompter.h"
#include "core/security.h"

namespace tikora::admin {

// The security object of the administrator program: checks "tikora.sec" in the data folder at
// start (creating or replacing it as needed) and reads the switch from it.
class AdminSecurity : public SecurityService {
 public:
  AdminSecurity(const TConfig& config, Prompter& prompter) : config_(config), prompter_(prompter) {}
  void CheckSecurityFile() override;
  void LoadSecuritySwitch() override;
  TSecure& Secure() { return secure_; }

 private:
  const TConfig& config_;
  Prompter& prompter_;
  TSecure secure_;
};

// Factories that make a TDataAccess and an AdminSecurity for a configuration.
ConfigServices AdminConfigServices(Prompter& prompter, AdminEnvironment env = AdminEnvironment::System());

// The services a loaded configuration holds (null before Load).
TDataAccess* DataAccessOf(const TConfig& config);
AdminSecurity* SecurityOf(const TConfig& config);

}  // namespace tikora::admin
