#include "admin/services.h"

#include <memory>

namespace tikora::admin {

void AdminSecurity::CheckSecurityFile() { tikora::CheckSecurityFile(config_.DataPath, prompter_); }

void AdminSecurity::LoadSecuritySwitch() { tikora::LoadSecuritySwitch(secure_, config_.DataPath); }

ConfigServices AdminConfigServices(Prompter& prompter, AdminEnvironment env) {
  ConfigServices services;
  services.make_data_access = [&prompter, env](TConfig& config) -> std::unique_ptr<DataAccessService> {
    return std::make_unique<TDataAccess>(config, prompter, env);
  };
  services.make_security = [&prompter](TConfig& config) -> std::unique_ptr<SecurityService> {
    return std::make_unique<AdminSecurity>(config, prompter);
  };
  return services;
}

TDataAccess* DataAccessOf(const TConfig& config) {
  return dynamic_cast<TDataAccess*>(config.DataAccess());
}

AdminSecurity* SecurityOf(const TConfig& config) {
  return dynamic_cast<AdminSecurity*>(config.Secure());
}

}  // namespace tikora::admin
