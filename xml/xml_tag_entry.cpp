// Tag stack entries shared by the XML reader and writer (see xml_tag_entry.h).
#include "xml/xml_tag_entry.h"

#include <stdlib.h>

#include "runtime/log.h"

vexa_xml_tag_entry *vexa_xml_push_tag_entry(vexa_xml_tag_entry **head, const char *tag)
{
    vexa_xml_tag_entry *entry = (vexa_xml_tag_entry *)malloc(sizeof(vexa_xml_tag_entry));
    if (!entry) {
        log_report("Error in vexa_xml_push_tag_entry(), out of memory.", LOG_CLASS_RESOURCE, LOG_MODULE_XML);
        return nullptr;
    }
    int n = 0;
    if (tag)
        for (; n < XML_TAG_TEXT_SIZE - 1 && tag[n]; n++)
            entry->tag[n] = tag[n];
    entry->tag[n] = 0;
    entry->next = *head;
    *head = entry;
    return entry;
}

vexa_xml_tag_entry *vexa_xml_unlink_tag_entry(vexa_xml_tag_entry **head)
{
    vexa_xml_tag_entry *entry = *head;
    if (entry) {
        *head = entry->next;
        entry->next = nullptr;
    }
    return entry;
}

void vexa_xml_free_tag_entry(vexa_xml_tag_entry *entry)
{
    free(entry);
}

void vexa_xml_free_tag_stack(vexa_xml_tag_entry **head)
{
    while (*head)
        vexa_xml_free_tag_entry(vexa_xml_unlink_tag_entry(head));
}
