// The worked examples of module names: each file name, the kind and tuner
// number it gives and its side files. The tests check them; the fuzz seeds
// start from them.
#pragma once

#include "sidefiles/ModuleName.h"

struct NameCase {
    const wchar_t* file;
    char kind;  // 'S' or 'T' from a kind letter; '-' none: the kind stays as it was
    int32_t number;
    const wchar_t* paths[3];  // settings, channel file, legacy channel file
};

const NameCase kNames[] = {
    {L"Zendrel-S.dll", 'S', -1, {L"Zendrel-ST.ini", L"Zendrel-S.SetCh.txt", L"Zendrel-S..SetCh.txt"}},
    {L"Zendrel-T1.dll", 'T', 1, {L"Zendrel-ST.ini", L"Zendrel-T.SetCh.txt", L"Zendrel-T..SetCh.txt"}},
    {L"Zendrel-s0.dll", 'S', 0, {L"Zendrel-ST.ini", L"Zendrel-s.SetCh.txt", L"Zendrel-s..SetCh.txt"}},
    {L"ZendrelT.dll", 'T', -1, {L"ZendrelST.ini", L"ZendrelT.SetCh.txt", L"ZendrelT..SetCh.txt"}},
    {L"Zendrel.dll", '-', -1, {L"Zendrel-ST.ini", L"Zendrel-T.SetCh.txt", L"Zendrel-.SetCh.txt"}},
    {L"Zendrel3.dll", '-', 3, {L"Zendrel-ST.ini", L"Zendrel-T.SetCh.txt", L"Zendrel-.SetCh.txt"}},
    {L"Zendrel-S12.dll", '-', 2, {L"Zendrel-S1-ST.ini", L"Zendrel-S1-T.SetCh.txt", L"Zendrel-S1-.SetCh.txt"}},
    {L"Zendrel-S.x.dll", '-', -1, {L"Zendrel-S.x-ST.ini", L"Zendrel-S.x-T.SetCh.txt", L"Zendrel-S.x-.SetCh.txt"}},
    {L"S.dll", 'S', -1, {L"ST.ini", L"S.SetCh.txt", L"S..SetCh.txt"}},
    {L"5.dll", '-', 5, {L"-ST.ini", L"-T.SetCh.txt", L"-.SetCh.txt"}},
    {L".dll", '-', -1, {L"-ST.ini", L"-T.SetCh.txt", L"-.SetCh.txt"}},
    {L"Zendrel-T9.ax", 'T', 9, {L"Zendrel-ST.ini", L"Zendrel-T.SetCh.txt", L"Zendrel-T..SetCh.txt"}},
};
