// Builds a small tree through the installed headers and prints it.
#include <Vantor_cfgmgr/Vantor_cfgmgr.h>

#include <cstdio>

int main()
{
    Vantor_cfgmgr::LibInit();
    Vantor_cfgmgr::Ref<Vantor_cfgmgr::ValueObject> o(new Vantor_cfgmgr::ValueObject());
    o->SetProperty("answer", new Vantor_cfgmgr::ValueInt(42));
    rapidjson::StringBuffer buffer;
    Vantor_cfgmgr::Writer writer(buffer);
    if (!o->Write(&writer)) {
        return 1;
    }
    std::puts(buffer.GetString());
    return 0;
}
