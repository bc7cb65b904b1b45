#include "soap/SoapService.h"

SoapService::~SoapService() = default;
